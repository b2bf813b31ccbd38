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

TEST(FeedbackBody, HoldsTheErrorOrItsPlaceholderAndOneLinePerChangeInOrder) {
    const std::vector<RelinkChange> changes = {
        change("A", "/m/A.mov", "/m/A.braw"),
        change("B", "/m/B.mov", "/m/B.braw"),
    };
    const struct {
        std::optional<QString> error;
        std::vector<RelinkChange> changes;
        QByteArray ending;
    } cases[] = {
        {std::nullopt, {}, "No error recorded\n\n--- Changes Log ---\n"},
        // An empty error is an empty line, not the placeholder.
        {QString(), {}, "\n\n--- Changes Log ---\n"},
        {QStringLiteral("Boom"), changes,
         "Boom\n\n--- Changes Log ---\n"
         "A: /m/A.mov \xE2\x86\x92 /m/A.braw\n"
         "B: /m/B.mov \xE2\x86\x92 /m/B.braw"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ending.toStdString());
        EXPECT_EQ(feedbackBody(QStringLiteral("Debian 12"), c.error, c.changes),
                  QByteArray(kOpening) + "Debian 12\n\n--- Error Log ---\n" + c.ending);
    }
}

TEST(PercentEncodeQuery, KeepsLettersDigitsAndQueryPunctuationAndEscapesTheRest) {
    const struct {
        QByteArray text;
        QByteArray encoded;
    } cases[] = {
        {"azAZ09", "azAZ09"},
        {"-._~!$&'()*+,;=:@/?", "-._~!$&'()*+,;=:@/?"},
        {" \"#%<>[\\]^`{|}", "%20%22%23%25%3C%3E%5B%5C%5D%5E%60%7B%7C%7D"},
        {QByteArray("\n\t\x7F\0", 4), "%0A%09%7F%00"},
        {"\xE2\x86\x92\xFF", "%E2%86%92%FF"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.encoded.toStdString());
        EXPECT_EQ(percentEncodeQuery(c.text), c.encoded);
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
}

TEST(FeedbackMailURL, ATooLongListEndsWithHowManyMoreAndWhereTheLogIs) {
    // Long paths, as on a shared volume: about a thousand changes pass the limit.
    const std::string folder = "/Volumes/Shoot_2026/Reel_04_Night/" + std::string(60, 'x') + "/";
    std::vector<RelinkChange> changes;
    for (int i = 0; i < 1500; ++i) {
        const std::string stem = "A001_C" + std::to_string(1000 + i);
        changes.emplace_back(stem, folder + stem + ".mov", folder + stem + ".braw", "r4", "r9");
    }
    const fs::path log = "/Edits/Day1_braw.relink.log";
    // Linux refuses a program argument of 128 KiB or more, the terminating zero included.
    const qsizetype argumentLimit = 128 * 1024;
    const QString address = QStringLiteral("dev@tessaly.example");
    const QString system = QStringLiteral("Linux 6.1");
    const QByteArray whole = "mailto:dev@tessaly.example?subject=Tessaly%20%E2%80%94%20Feedback"
                             "&body=" +
                             percentEncodeQuery(feedbackBody(system, std::nullopt, changes));
    ASSERT_GE(whole.size(), argumentLimit);

    const struct {
        std::optional<fs::path> log;
        const char *ending;
    } cases[] = {
        {log, " more changes; the full list is in the change log: /Edits/Day1_braw.relink.log"},
        {std::nullopt, " more changes, too many for one mail."},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.ending);
        const QByteArray url = feedbackMailURL(address, system, std::nullopt, changes, c.log);
        EXPECT_LT(url.size(), argumentLimit);
        EXPECT_GT(url.size(), argumentLimit - 1000); // as many lines as fit
        const QByteArray body = QByteArray::fromPercentEncoding(url.mid(url.indexOf("&body=") + 6));
        const QList<QByteArray> lines = body.split('\n');
        const qsizetype heading = lines.indexOf("--- Changes Log ---");
        ASSERT_GE(heading, 0);
        const qsizetype listed = lines.size() - heading - 2;
        ASSERT_GT(listed, 0);
        // The lines listed are the first ones, whole and in order.
        for (qsizetype i = 0; i < listed; ++i)
            EXPECT_EQ(lines[heading + 1 + i],
                      feedbackBody(system, std::nullopt, {changes[i]})
                          .mid(feedbackBody(system, std::nullopt, {}).size()));
        EXPECT_EQ(lines.back(), "\xE2\x80\xA6 and " + QByteArray::number(1500 - listed) + c.ending);
    }

    // Below the limit the bytes are exactly those of the whole list.
    changes.erase(changes.begin() + 100, changes.end());
    EXPECT_EQ(feedbackMailURL(address, system, std::nullopt, changes, log),
              "mailto:dev@tessaly.example?subject=Tessaly%20%E2%80%94%20Feedback&body=" +
                  percentEncodeQuery(feedbackBody(system, std::nullopt, changes)));
    // One line over, one line is left out and the count is in the singular.
    const QByteArray exact = feedbackMailURL(address, system, std::nullopt, changes, log);
    const QByteArray shortened =
        feedbackMailURL(address, system, std::nullopt, changes, std::nullopt, exact.size() - 1);
    EXPECT_TRUE(shortened.endsWith(
        percentEncodeQuery("\xE2\x80\xA6 and 1 more change, too many for one mail.")));
    // A URL exactly as long as allowed is not shortened further.
    EXPECT_EQ(
        feedbackMailURL(address, system, std::nullopt, changes, std::nullopt, shortened.size()),
        shortened);
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
