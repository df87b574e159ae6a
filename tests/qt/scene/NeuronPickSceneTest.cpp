// Picking voxels of the shipped neuron-class grids in the drawn scene: the
// selection text names the neuron, and presses open the archive page or the
// viewer's launch file through the platform hooks.

#include "BrainSceneFixture.h"

#include "display/ExpressionRenderer.h"
#include "display/NeuronArchiveLink.h"
#include "gl/InputConventions.h"
#include "model/Expressor.h"
#include "platform/QtPlatformServices.h"
#include "shell/GLView.h"
#include "shell/GLViewWrapper.h"
#include "support/NoBrowserEnvironment.h"
#include "support/QuietStdout.h"
#include "support/TempDir.h"

#include <QApplication>
#include <QMainWindow>
#include <QMessageBox>
#include <QTest>

#include <cctype>
#include <cmath>
#include <map>
#include <sstream>

namespace
{
using scenetest::BrainSceneFixture;
using scenetest::kHeight;
using scenetest::kWidth;

// The table's lines by grid position: neuron name and archive name.
struct TableLine
{
    std::string neuron;
    std::string archive;
};

std::map<std::array<int, 3>, TableLine> ReadSampleTable()
{
    std::map<std::array<int, 3>, TableLine> table;
    std::istringstream lines(testsupport::ReadFileBytes(testsupport::SampleDataDir() + "drxrid.txt"));
    std::string line;
    while (std::getline(lines, line))
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream fields(line);
        std::array<std::string, 5> f;
        for (std::string& field : f)
            std::getline(fields, field, ',');
        table.emplace(std::array<int, 3>{std::stoi(f[0]), std::stoi(f[1]), std::stoi(f[2])}, TableLine{f[3], f[4]});
    }
    return table;
}

bool Unreserved(const std::string& text)
{
    for (unsigned char c : text)
        if (!std::isalnum(c) && c != '-' && c != '_' && c != '.' && c != '~')
            return false;
    return !text.empty();
}

class NeuronPickSceneTest : public BrainSceneFixture
{
protected:
    struct Target
    {
        int gene = -1;
        const Expressor* voxel = nullptr;
    };

    void SetUp() override
    {
        gTintState = TintState();
        // The table comes from the data folder; the launch file goes to a
        // private folder instead of the user's caches.
        NeuronArchive::SetLocations("", launchFolder.Path());
        BrainSceneFixture::SetUp();
        model->SetZoom(100.0f, false);
        for (const char* name : {"Non_Pyr_Principal", "Pyramidal", "Interneuron"})
        {
            const std::string path = testsupport::SampleDataDir() + "xprs/" + name + ".xpr";
            model->AddGene(path.c_str());
        }
        table = ReadSampleTable();
        display.Display();
    }

    void TearDown() override
    {
        BrainSceneFixture::TearDown();
        NeuronArchive::SetLocations("", "");
        gTintState = TintState();
    }

    // A drawn voxel that no other drawn voxel can hide or share a pixel with
    // (in the unrotated view smaller z is nearer) and whose table line is
    // accepted by the predicate.
    Target FindFrontVoxel(bool (*accept)(const TableLine*))
    {
        struct Drawn
        {
            int gene;
            const Expressor* voxel;
        };
        std::vector<Drawn> drawn;
        for (int g = 0; g < model->GetNumGenes(); ++g)
            for (const BrainFeature& feature : model->GetGene(g)->GetBrainFeatures())
                for (const Expressor* e : feature.expressors)
                    if (ExpressionRenderer::ExpressorVisible(model.get(), e))
                        drawn.push_back({g, e});
        for (const Drawn& candidate : drawn)
        {
            const Expressor& c = *candidate.voxel;
            const auto line = table.find({int(c.gridX), int(c.gridY), int(c.gridZ)});
            if (!accept(line == table.end() ? nullptr : &line->second))
                continue;
            bool hidden = false;
            for (const Drawn& other : drawn)
            {
                const Expressor& o = *other.voxel;
                if (&o != &c && std::fabs(o.gridX - c.gridX) < 1.5f && std::fabs(o.gridY - c.gridY) < 1.5f &&
                    o.gridZ < c.gridZ + 1.5f)
                {
                    hidden = true;
                    break;
                }
            }
            if (!hidden)
                return {candidate.gene, candidate.voxel};
        }
        return {};
    }

    static bool KnownNeuron(const TableLine* line)
    {
        return line != nullptr && line->neuron != "unknown_cell" && Unreserved(line->neuron);
    }

    std::array<int, 2> PointOf(const Target& t) { return ScreenPoint(t.voxel->gridX, t.voxel->gridY, t.gene); }

    const TableLine& LineOf(const Expressor& v) { return table.at({int(v.gridX), int(v.gridY), int(v.gridZ)}); }

    testsupport::QuietStdout quiet;
    testsupport::TempDir launchFolder;
    std::map<std::array<int, 3>, TableLine> table;
};

TEST_F(NeuronPickSceneTest, HoversAndPressesOnAKnownNeuronNameItAndPressesOpenItsArchive)
{
    ASSERT_EQ(3, model->GetNumGenes());
    const Target target = FindFrontVoxel(KnownNeuron);
    ASSERT_NE(nullptr, target.voxel) << "the sample grids have an unhidden voxel of a known neuron";
    const TableLine& line = LineOf(*target.voxel);
    const std::string symbol = model->GetGene(target.gene)->GetSymbol();
    EXPECT_TRUE(symbol == "Non_Pyr_Principal" || symbol == "Pyramidal" || symbol == "Interneuron") << symbol;
    const std::string launchFile = launchFolder.File("META_JNLP.jnlp");
    const std::string page = "http://127.0.0.1:8640/Arbolex/neuron_info.jsp?neuron_name=" + line.neuron;

    // Hovering names the neuron without opening anything.
    display.Move(PointOf(target)[0], PointOf(target)[1]);
    ASSERT_EQ(target.voxel, model->GetSelectedExpressor());
    EXPECT_NE(std::string::npos, scene->GetInfoString().find(", " + line.neuron + "\n"));
    EXPECT_EQ(0, gTintState.QMB_expressor_clicked);
    EXPECT_TRUE(services.files.empty() && services.urls.empty());

    // A plain left press (pan tool, mode 1) names the neuron and opens the
    // launch file written for it.
    Click(0, PointOf(target));
    ASSERT_EQ(target.voxel, model->GetSelectedExpressor());
    EXPECT_EQ(model->GetGene(target.gene), model->GetSelectedExpressorsGene());
    EXPECT_EQ("Neuron Type: " + symbol + "\nArchive, Neuron Name: " + line.archive + ", " + line.neuron + "\n",
              scene->GetInfoString());
    ASSERT_EQ(std::vector<std::string>{launchFile}, services.files);
    EXPECT_TRUE(services.urls.empty());
    const std::string launchText = testsupport::ReadFileBytes(launchFile);
    EXPECT_NE(std::string::npos, launchText.find("href=\"" + line.neuron + ".jnlp\"")) << launchText;
    EXPECT_EQ(int(target.voxel->gridId), gTintState.QMB_expressor_clicked);
    EXPECT_EQ(1, gTintState.QMB_moused_known);

    // A right press (trackball, mode -1) opens the neuron's archive page.
    Click(2, PointOf(target));
    EXPECT_EQ(std::vector<std::string>{page}, services.urls);
    EXPECT_EQ(1u, services.files.size());
    EXPECT_EQ(1, gTintState.QMB_expressor_clicked);

    // So does a left press with Shift; a right press with Shift pans and
    // opens the launch file again.
    Click(0, PointOf(target), InputConventions::FLAG_SHIFT);
    EXPECT_EQ((std::vector<std::string>{page, page}), services.urls);
    EXPECT_EQ(1u, services.files.size());
    Click(2, PointOf(target), InputConventions::FLAG_SHIFT);
    EXPECT_EQ(2u, services.urls.size());
    EXPECT_EQ((std::vector<std::string>{launchFile, launchFile}), services.files);
    EXPECT_TRUE(services.alerts.empty());
}

TEST_F(NeuronPickSceneTest, AVoxelWithoutANeuronSaysUnknownAndOpensNothing)
{
    const Target target = FindFrontVoxel(
        [](const TableLine* line) { return line == nullptr || line->neuron == "unknown_cell"; });
    ASSERT_NE(nullptr, target.voxel) << "the sample grids have an unhidden voxel the archive does not know";
    const std::string symbol = model->GetGene(target.gene)->GetSymbol();
    for (int button : {0, 2})
    {
        Click(button, PointOf(target));
        ASSERT_EQ(target.voxel, model->GetSelectedExpressor());
        EXPECT_EQ("Neuron Type: " + symbol + "\nArchive, Neuron Name: unknown\n", scene->GetInfoString());
        EXPECT_EQ(-1, gTintState.QMB_moused_known);
        EXPECT_LT(gTintState.QMB_expressor_clicked, 0);
    }
    EXPECT_TRUE(services.files.empty());
    EXPECT_TRUE(services.urls.empty());
}

// Where no application opens the launch file and no browser the archive page,
// a press on a known neuron opens an alert while the button is down, and the
// alert takes the release. Once it is closed, moving the pointer with no
// button held neither pans nor turns the brain.
TEST_F(NeuronPickSceneTest, APressWhoseAlertTakesTheReleaseLeavesNoDragBehind)
{
    const Target target = FindFrontVoxel(KnownNeuron);
    ASSERT_NE(nullptr, target.voxel);
    // The scene in a window's view, as the application shows it.
    QMainWindow window;
    auto* view = new GLView;
    window.setCentralWidget(view);
    window.resize(kWidth, kHeight);
    GLViewWrapper shownDisplay(view);
    BrainSceneRenderer shown(&shownDisplay, model.get(), nullptr);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, 20000));
    ASSERT_EQ(QSize(kWidth, kHeight), view->size());
    shownDisplay.SetRenderer(&shown);
    shownDisplay.SetMouseListener(&shown);
    testsupport::NoBrowserEnvironment noBrowser;
    PlatformServices* const recording = GetPlatformServices();
    InstallQtPlatformServices();

    auto camera = [&] {
        std::vector<float> state(model->GetOrigin(), model->GetOrigin() + 3);
        state.insert(state.end(), model->GetRotation(), model->GetRotation() + 4);
        state.push_back(model->GetZoom());
        return state;
    };
    struct Press
    {
        const char* name;
        Qt::MouseButton button;
        Qt::KeyboardModifiers modifiers;
    };
    for (const Press& press : {Press{"left (launch file)", Qt::LeftButton, {}},
                               Press{"shift-left (page)", Qt::LeftButton, Qt::ShiftModifier},
                               Press{"right (page)", Qt::RightButton, {}}})
    {
        SCOPED_TRACE(press.name);
        const std::vector<float> before = camera();
        const QPoint at = view->mapTo(&window, QPoint(PointOf(target)[0], PointOf(target)[1]));
        QTest::mousePress(window.windowHandle(), press.button, press.modifiers, at);
        EXPECT_TRUE(QTest::qWaitFor([] { return QApplication::activeModalWidget() != nullptr; }, 20000));
        // The release goes to the alert, not to the blocked window.
        QTest::mouseRelease(window.windowHandle(), press.button, press.modifiers, at);
        EXPECT_TRUE(QTest::qWaitFor(
            [] {
                if (QWidget* alert = QApplication::activeModalWidget())
                    alert->close();
                return QApplication::activeModalWidget() == nullptr;
            },
            20000));
        for (int i = 1; i <= 5; ++i)
            QTest::mouseMove(window.windowHandle(), at + QPoint(20 * i, 10 * i));
        EXPECT_EQ(before, camera());
    }
    SetPlatformServices(recording);
    shownDisplay.SetMouseListener(nullptr);
    shownDisplay.SetRenderer(nullptr);
}
} // namespace
