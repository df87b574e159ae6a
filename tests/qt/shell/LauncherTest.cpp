// The launch rule as a pure function, and the built program started the way
// a user and the desktop start it.

#include "AppProcess.h"

#include "shell/Launcher.h"
#include "support/TempDir.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fstream>
#include <sstream>

namespace
{
using Launcher::LaunchPlan;
using Launcher::PlanLaunch;
using Strings = std::vector<std::string>;

const std::string kApp = "/opt/My Apps/Nuvaro.app";
const std::string kExe = kApp + "/Contents/MacOS/Tessary";

Strings Shipped(const std::string& bundle)
{
    return {bundle + "/Contents/Resources/Data/xprs/Non_Pyr_Principal.xpr",
            bundle + "/Contents/Resources/Data/xprs/Pyramidal.xpr",
            bundle + "/Contents/Resources/Data/xprs/Interneuron.xpr"};
}

TEST(LaunchPlanTest, ALaunchWithAtMostOneArgumentRelaunchesWithTheShippedFiles)
{
    const LaunchPlan plan = PlanLaunch({"Tessary"}, kExe);
    ASSERT_TRUE(plan.relaunch);
    EXPECT_EQ(kExe, plan.program);
    Strings expected{"Tessary"};
    for (const std::string& f : Shipped(kApp))
        expected.push_back(f);
    EXPECT_EQ(expected, plan.arguments);
    EXPECT_EQ((Strings{"OSX Arg 0/1 = [  7] 'Tessary'\n"}), plan.lines);

    // A two-argument launch passes its file on after the shipped ones.
    const LaunchPlan two = PlanLaunch({kExe, "/home/u/it's mine.xpr"}, kExe);
    ASSERT_TRUE(two.relaunch);
    ASSERT_EQ(5u, two.arguments.size());
    EXPECT_EQ("/home/u/it's mine.xpr", two.arguments[4]);
    EXPECT_EQ(2u, two.lines.size());
}

TEST(LaunchPlanTest, MoreArgumentsRunTheApplicationAndPrintThem)
{
    const LaunchPlan plan = PlanLaunch({"Tessary", "a.xpr", "b c.xpr"}, kExe);
    EXPECT_FALSE(plan.relaunch);
    EXPECT_EQ((Strings{"\n", "Std Arg 0/3 = [  7] 'Tessary'\n", "Std Arg 1/3 = [  5] 'a.xpr'\n",
                       "Std Arg 2/3 = [  7] 'b c.xpr'\n"}),
              plan.lines);
}

TEST(LaunchPlanTest, TheRunningApplicationGetsOnlyTheUsersFiles)
{
    EXPECT_EQ(Strings{}, Launcher::UserFiles({kExe}));
    EXPECT_EQ(Strings{}, Launcher::UserFiles({}));
    EXPECT_EQ((Strings{"-platform"}), Launcher::UserFiles({kExe, "-platform"}));
    EXPECT_EQ((Strings{"a.xpr", "b.xpr"}), Launcher::UserFiles({kExe, "a.xpr", "b.xpr"}));
}

TEST(LaunchPlanTest, TheBundleIsCutAtTheFirstMarkerOrIsTheWholePath)
{
    EXPECT_EQ("/x/A.app", Launcher::BundlePath("/x/A.app/Contents/MacOS/Tessary"));
    EXPECT_EQ("/x/A.app", Launcher::BundlePath("/x/A.app/Contents/MacOS/Tessary/Contents/MacOS/Tessary"));
    EXPECT_EQ("/usr/bin/tessary", Launcher::BundlePath("/usr/bin/tessary"));
    const LaunchPlan plan = PlanLaunch({"tessary"}, "/usr/bin/tessary");
    EXPECT_EQ(Shipped("/usr/bin/tessary")[0], plan.arguments[1]);
}

TEST(LaunchPlanTest, AProgramThatCannotStartGivesANonZeroStatus)
{
    LaunchPlan plan;
    plan.relaunch = true;
    plan.program = "/nonexistent/Tessary";
    plan.arguments = {"Tessary"};
    EXPECT_EQ(127, Launcher::Execute(plan));
}

#ifdef NUVARO_TEST_APP
// Runs the built program until its first scene frame; returns its status
// and its standard output.
int RunApp(const QStringList& args, QString& out)
{
    apptest::AppHome home;
    auto p = apptest::StartApp(args, home.Environment());
    if (!apptest::FinishWhileServing(*p, out))
        return -1;
    return apptest::Status(*p);
}

TEST(LaunchedProgramTest, TheDesktopEntryIsValidAndItsExecLineOpensTheFileBesideTheShippedOnes)
{
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        GTEST_SKIP() << "desktop-file-validate is not installed";
    QProcess check;
    check.start(validator, {QString::fromUtf8(NUVARO_TEST_DESKTOP_ENTRY)});
    ASSERT_TRUE(check.waitForFinished(30000));
    EXPECT_EQ(0, check.exitCode()) << check.readAllStandardOutput().toStdString();

    std::ifstream entry(NUVARO_TEST_DESKTOP_ENTRY);
    std::string line, exec;
    while (std::getline(entry, line))
        if (line.rfind("Exec=", 0) == 0)
            exec = line.substr(5);
    ASSERT_FALSE(exec.empty());
    // The desktop splits the line at spaces outside quotes and starts one
    // launch per file, the file in place of %f: a launch with one file,
    // which a running application takes (and nothing else again).
    QStringList args = QProcess::splitCommand(QString::fromStdString(exec));
    ASSERT_EQ((QStringList{QString::fromUtf8(NUVARO_TEST_APP), QStringLiteral("%f")}), args);
    args = QStringList{QString::fromStdString(testsupport::SampleDataDir() + "xprs/Pyramidal.xpr")};
    QString out;
    ASSERT_EQ(0, RunApp(args, out)) << out.toStdString();
    // The shipped files and the one more.
    EXPECT_EQ(4, static_cast<int>(out.count(QStringLiteral("Loaded VERSION")))) << out.toStdString();
}

bool Gone(pid_t pid)
{
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

// A launch ended from the terminal (SIGINT), by closing the terminal
// (SIGHUP) or by the session (SIGTERM) takes the copy it started with it,
// and still ends as it does when the copy ends.
TEST(LaunchedProgramTest, EndingTheLaunchEndsTheCopyItStarted)
{
    apptest::AppHome home;
    for (int signal : {SIGTERM, SIGHUP, SIGINT})
    {
        SCOPED_TRACE(signal);
        auto launch = apptest::StartApp({}, home.Environment({}, false));
        QString out;
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                out += QString::fromUtf8(launch->readAllStandardOutput());
                return out.contains("First scene frame drawn") || launch->state() == QProcess::NotRunning;
            },
            60000))
            << out.toStdString();
        const std::vector<pid_t> copies = apptest::ChildrenOf(static_cast<pid_t>(launch->processId()));
        ASSERT_EQ(1u, copies.size());
        ::kill(static_cast<pid_t>(launch->processId()), signal);
        const bool copyGone = QTest::qWaitFor([&] { return Gone(copies[0]); }, 30000);
        EXPECT_TRUE(copyGone);
        if (!copyGone)
            ::kill(copies[0], SIGKILL);
        ASSERT_TRUE(apptest::FinishWhileServing(*launch, out, 30000));
        EXPECT_EQ(0, apptest::Status(*launch));
    }
}
#endif
} // namespace
