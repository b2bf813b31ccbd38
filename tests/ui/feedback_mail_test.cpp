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

const QByteArray kOpening =
    "Please describe your issue or request below:\n\n---\n\nApp Version: 1.0\n" +
    QByteArray(kSystemLabel.data(), qsizetype(kSystemLabel.size())) + ": ";

TEST(FeedbackBody, HoldsTheErrorOrItsPlaceholderAndOneLinePerChangeInOrder) {
    const std::vector<RelinkChange> changes = {
        RelinkChange("A", "/m/A.mov", "/m/A.braw", "r4", "r9"),
        RelinkChange("B", "/m/B.mov", "/m/B.braw", "r4", "r9"),
    };
    const struct {
        std::optional<QString> error;
        std::vector<RelinkChange> changes;
        QByteArray ending;
    } cases[] = {
        {std::nullopt, {}, "No error recorded\n\n--- Changes Log ---\n"},
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

TEST(FeedbackMailURL, ATooLongListEndsWithHowManyMoreAndWhereTheLogIs) {
    // Long paths, as on a shared volume: about a thousand changes pass the limit.
    const std::string folder = "/Volumes/Shoot_2026/Reel_04_Night/" + std::string(60, 'x') + "/";
    std::vector<RelinkChange> changes;
    for (int i = 0; i < 1500; ++i) {
        const std::string stem = "A001_C" + std::to_string(1000 + i);
        changes.emplace_back(stem, folder + stem + ".mov", folder + stem + ".braw", "r4", "r9");
    }
    const QString address = QStringLiteral("dev@tessaly.example");
    const QString system = QStringLiteral("Linux 6.1");
    const auto whole = [&](const std::vector<RelinkChange> &listed) -> QByteArray {
        return "mailto:dev@tessaly.example?subject=Tessaly%20%E2%80%94%20Feedback&body=" +
               percentEncodeQuery(feedbackBody(system, std::nullopt, listed));
    };
    // Linux refuses a program argument of 128 KiB or more, the terminating zero included.
    const qsizetype argumentLimit = 128 * 1024;
    ASSERT_GE(whole(changes).size(), argumentLimit);

    const QByteArray url = feedbackMailURL(address, system, std::nullopt, changes,
                                           fs::path("/Edits/Day1_braw.relink.log"));
    EXPECT_LT(url.size(), argumentLimit);
    EXPECT_GT(url.size(), argumentLimit - 1000); // as many lines as fit
    // The lines listed are the first ones, whole and in order.
    const QByteArray body = QByteArray::fromPercentEncoding(url.mid(url.indexOf("&body=") + 6));
    const qsizetype listed = body.count('\n') - feedbackBody(system, std::nullopt, {}).count('\n');
    const std::vector<RelinkChange> first(changes.begin(), changes.begin() + listed);
    EXPECT_EQ(body, feedbackBody(system, std::nullopt, first) + "\n\xE2\x80\xA6 and " +
                        QByteArray::number(1500 - listed) +
                        " more changes; the full list is in the change log: "
                        "/Edits/Day1_braw.relink.log");

    // Below the limit the bytes are exactly those of the whole list.
    changes.erase(changes.begin() + 100, changes.end());
    const QByteArray exact = feedbackMailURL(address, system, std::nullopt, changes);
    EXPECT_EQ(exact, whole(changes));
    // One byte less, one line is left out and the count is in the singular; without a change
    // log, the mail says the list was too long.
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
    view.viewModel().setInput(temp / "Missing.fcpxml");
    view.viewModel().runDryRun();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.viewModel().isRunning(); }, 20000));
    ASSERT_TRUE(view.viewModel().errorMessage());

    QTest::mouseClick(child<PushButton>(view, "feedbackButton"), Qt::LeftButton);
    ASSERT_EQ(client.opened.size(), 1);
    const QByteArray sent = client.opened.front().toEncoded();
    const QByteArray body = feedbackBody(systemVersionText(), view.viewModel().errorMessage(), {});
    EXPECT_EQ(sent, QByteArray("mailto:" TESSALY_FEEDBACK_ADDRESS
                               "?subject=Tessaly%20%E2%80%94%20Feedback&body=") +
                        percentEncodeQuery(body));
}

} // namespace
} // namespace tessaly::testing
