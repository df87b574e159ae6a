// The built application on empty user folders: the first start installs the
// atlas through the panel and opens the window; the second start finds the
// installation, shows no panel and opens the shipped files.
#include "support/TempDir.h"

#include <QProcess>
#include <QProcessEnvironment>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace
{
struct AppRun
{
    bool finished = false;
    int exitCode = -1;
    std::string output;
};

// Starts the application and waits for it to draw its first frame and quit.
AppRun StartApplication(const testsupport::TempDir& home)
{
    // Worked out on the path's text: Data may be a link to a folder elsewhere.
    const fs::path executable = fs::path(testsupport::SampleDataDir() + "../../MacOS/Tessary").lexically_normal();
    const QString program = QString::fromStdString(executable.string());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("NUVARO_DATA_DIR", QString::fromStdString(testsupport::SampleDataDir()));
    environment.insert("NUVARO_QUIT_AFTER_FIRST_FRAME", "1");
    // In a sanitizer build the program's exit-time leak report cannot name
    // the GL driver, unloaded by then; memory errors are still reported.
    environment.insert("ASAN_OPTIONS", environment.value("ASAN_OPTIONS") + ":detect_leaks=0");
    environment.insert("HOME", QString::fromStdString(home.Path()));
    environment.insert("XDG_DATA_HOME", QString::fromStdString(home.File("data")));
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(home.File("config")));
    environment.insert("XDG_CACHE_HOME", QString::fromStdString(home.File("cache")));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, {});
    AppRun run;
    run.finished = process.waitForFinished(120000);
    if (!run.finished)
        process.kill();
    run.exitCode = process.exitCode();
    run.output = process.readAll().toStdString();
    return run;
}
} // namespace

TEST(FirstRunTest, TheFirstStartInstallsAndASecondFindsTheInstallation)
{
    testsupport::TempDir home;
    const std::string atlasFolder = home.File("data/Nuvaro/Atlas/");

    AppRun first = StartApplication(home);
    ASSERT_TRUE(first.finished) << first.output;
    EXPECT_EQ(first.exitCode, 0) << first.output;
    EXPECT_NE(first.output.find("First scene frame drawn"), std::string::npos) << first.output;
    ASSERT_TRUE(fs::is_regular_file(atlasFolder + "Version")) << first.output;
    EXPECT_EQ(fs::file_size(atlasFolder + "Atlas25"), 77045760u);
    EXPECT_EQ(fs::file_size(atlasFolder + "SagittalAtlasMap"), 7433370u);
    const auto installed = fs::last_write_time(atlasFolder + "Version");

    AppRun second = StartApplication(home);
    ASSERT_TRUE(second.finished) << second.output;
    EXPECT_EQ(second.exitCode, 0) << second.output;
    EXPECT_NE(second.output.find("First scene frame drawn"), std::string::npos) << second.output;
    // Without arguments it opens the three shipped neuron classes.
    size_t opened = 0;
    for (size_t at = 0; (at = second.output.find("Loaded VERSION", at)) != std::string::npos; ++at)
        ++opened;
    EXPECT_EQ(opened, 3u) << second.output;
    EXPECT_EQ(fs::last_write_time(atlasFolder + "Version"), installed) << "installed again";
}
