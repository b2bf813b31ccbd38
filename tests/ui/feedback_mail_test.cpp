#include "desktop_recorder.h"
#include "ui/about_config.h"
#include "ui/content_view.h"
#include "ui/feedback_mail.h"
#include "ui/push_button.h"
#include "widget_support.h"
#include "workflow/relink_view_model.h"

#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace tessaly::testing {
namespace {

const char kOpening[] =
    "Please describe your issue or request below:\n\n---\n\nApp Version: 1.0\nmacOS: ";

RelinkChange change(const char *stem, const char *oldSrc, const char *newSrc) {
    return RelinkChange(stem, oldSrc, newSrc, "r4", "r9");
}

TEST(FeedbackBody, OpeningIsSeventyFiveBytes) {
    EXPECT_EQ(std::string_view(kOpening).size(), 75u);
}

TEST(FeedbackBody, WithoutErrorOrChangesEndsWithTheChangesHeading) {
    EXPECT_EQ(feedbackBody(QStringLiteral("Debian 12"), std::nullopt, {}),
              QByteArray(kOpening) + "Debian 12\n\n--- Error Log ---\nNo error recorded"
                                     "\n\n--- Changes Log ---\n");
}

TEST(FeedbackBody, AnEmptyErrorIsAnEmptyLineNotThePlaceholder) {
    EXPECT_EQ(feedbackBody(QStringLiteral("X"), QString(), {}),
              QByteArray(kOpening) + "X\n\n--- Error Log ---\n\n\n--- Changes Log ---\n");
}

TEST(FeedbackBody, ChangesAreOneLineEachInOrder) {
    const std::vector<RelinkChange> changes = {
        change("A", "/m/A.mov", "/m/A.braw"),
        change("B", "/m/B.mov", "/m/B.braw"),
        change("C", "/m/C.mov", "/m/C.braw"),
    };
    EXPECT_EQ(feedbackBody(QStringLiteral("X"), QStringLiteral("Boom"), changes),
              QByteArray(kOpening) + "X\n\n--- Error Log ---\nBoom\n\n--- Changes Log ---\n"
                                     "A: /m/A.mov \xE2\x86\x92 /m/A.braw\n"
                                     "B: /m/B.mov \xE2\x86\x92 /m/B.braw\n"
                                     "C: /m/C.mov \xE2\x86\x92 /m/C.braw");
}

TEST(PercentEncodeQuery, KeepsTheQuerySetAndEscapesEveryOtherByteInUpperCase) {
    const QByteArray punctuation = "-._~!$&'()*+,;=:@/?";
    for (int byte = 0; byte < 256; ++byte) {
        const char c = char(byte);
        const bool kept = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || punctuation.contains(c);
        const QByteArray expected =
            kept ? QByteArray(1, c)
                 : "%" + QByteArray::number(byte, 16).toUpper().rightJustified(2, '0');
        EXPECT_EQ(percentEncodeQuery(QByteArray(1, c)), expected) << "byte " << byte;
    }
}

TEST(FeedbackMailURL, HasTheExactBytes) {
    const std::vector<RelinkChange> changes = {
        change("A 1", "/Vol/Day #1/A 1.mov", "/Vol/Day #1/A 1.braw"),
    };
    const QByteArray url =
        feedbackMailURL(QStringLiteral("dev@tessaly.example"), QStringLiteral("Linux 6.1"),
                        QStringLiteral("50% done & a=b?"), changes);
    const QByteArray expected =
        "mailto:dev@tessaly.example?subject=Tessaly%20%E2%80%94%20Feedback&body="
        "Please%20describe%20your%20issue%20or%20request%20below:%0A%0A---%0A%0A"
        "App%20Version:%201.0%0AmacOS:%20Linux%206.1"
        "%0A%0A---%20Error%20Log%20---%0A50%25%20done%20&%20a=b?"
        "%0A%0A---%20Changes%20Log%20---%0A"
        "A%201:%20/Vol/Day%20%231/A%201.mov%20%E2%86%92%20/Vol/Day%20%231/A%201.braw";
    EXPECT_EQ(url, expected);
    // Qt takes the text as it is, without escaping it again or undoing escapes.
    EXPECT_EQ(QUrl::fromEncoded(url, QUrl::StrictMode).toEncoded(), expected);
}

TEST(SendFeedback, TheButtonHandsTheComposedMailToTheDesktop) {
    TempDir temp;
    DesktopRecorder client(QStringLiteral("mailto"));
    ContentView view(std::make_shared<ScriptedChooser>());
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));

    // After a failed run, the mail carries its message.
    const fs::path refused = temp / "Refused.fcpxml";
    writeFile(refused, kNoOriginals);
    view.viewModel().setInput(refused);
    view.viewModel().runDryRun();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.viewModel().isRunning(); }, 20000));
    ASSERT_TRUE(view.viewModel().errorMessage());

    QTest::mouseClick(child<PushButton>(view, "feedbackButton"), Qt::LeftButton);
    ASSERT_EQ(client.opened.size(), 1);
    const QByteArray sent = client.opened.front().toEncoded();
    EXPECT_EQ(sent, feedbackMailURL(QString::fromUtf8(TESSALY_FEEDBACK_ADDRESS),
                                    systemVersionText(), view.viewModel().errorMessage(), {}));
    EXPECT_TRUE(sent.contains(percentEncodeQuery("\n--- Error Log ---\nNo .braw asset found")));
    QTest::qWait(10);
    EXPECT_FALSE(view.showAbout());
}

TEST(SystemVersionText, NamesTheSystemAndItsKernel) {
    const QString text = systemVersionText();
    EXPECT_TRUE(text.contains(QSysInfo::prettyProductName()));
    EXPECT_TRUE(text.contains(QSysInfo::kernelVersion()));
}

} // namespace
} // namespace tessaly::testing
