// The GL view's event translation, timer, cursor rectangles, renderer
// hand-over and frame capture, with hand-built Qt events on a shown view.

#include "ShellFixture.h"

#include "gl/TimerListener.h"
#include "model/UserPreferences.h"
#include "shell/GLViewWrapper.h"
#include "support/qt/GLTestRenderer.h"

#include <QClipboard>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QVBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QOpenGLFunctions>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QWheelEvent>

#include <algorithm>
#include <atomic>
#include <functional>
#include <stdexcept>
#include <thread>

using namespace shelltest;

namespace
{
class RecordingRenderer : public GLTestRenderer
{
public:
    bool OnMouseMove(int x, int y, int f, unsigned) override { return Record("move", 0, x, y, f); }
    bool OnMouseLeave(unsigned) override
    {
        calls.push_back("leave");
        return true;
    }
    bool OnKeyDown(unsigned c, int f, unsigned) override
    {
        calls.push_back("key " + std::to_string(c) + " " + std::to_string(f));
        return true;
    }
    bool OnSpecialKeyDown(int k, int f, unsigned) override
    {
        calls.push_back("special " + std::to_string(k) + " " + std::to_string(f));
        return true;
    }
    void SetActive(bool active) override { calls.push_back(active ? "active" : "inactive"); }
};

class CountingTimer : public TimerListener
{
public:
    void TimerElapsed() override { ++ticks; }
    int ticks = 0;
};

class GLViewTest : public testing::Test
{
protected:
    void SetUp() override
    {
        Process();
        view = std::make_unique<GLView>();
        view->resize(200, 100);
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get(), 20000));
        wrapper = std::make_unique<GLViewWrapper>(view.get());
        wrapper->SetRenderer(&renderer);
        wrapper->SetMouseListener(&renderer);
        wrapper->SetKeyListener(&renderer);
        renderer.calls.clear();
    }

    void TearDown() override
    {
        wrapper->SetRenderer(nullptr);
        wrapper.reset();
        view.reset();
    }

    void Mouse(QEvent::Type type, Qt::MouseButton button, QPointF p, Qt::KeyboardModifiers mods = {})
    {
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent e(type, p, view->mapToGlobal(p), button, buttons, mods);
        QApplication::sendEvent(view.get(), &e);
    }
    void Wheel(int angle)
    {
        QWheelEvent e(QPointF(10, 20), view->mapToGlobal(QPointF(10, 20)), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(view.get(), &e);
    }
    void Key(int key, const QString& text = {}, Qt::KeyboardModifiers mods = {})
    {
        QKeyEvent e(QEvent::KeyPress, key, mods, text);
        QApplication::sendEvent(view.get(), &e);
    }

    RecordingRenderer renderer;
    std::unique_ptr<GLView> view;
    std::unique_ptr<GLViewWrapper> wrapper;
};

using Calls = std::vector<std::string>;

TEST_F(GLViewTest, CornersArriveWithTheOriginAtTheTopLeftInDevicePixels)
{
    // Positions and sizes are device pixels (QT_SCALE_FACTOR=2 doubles them).
    const double dpr = view->devicePixelRatioF();
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == QLatin1String("2"))
    {
        EXPECT_EQ(2.0, dpr);
    }
    const int w = static_cast<int>(200 * dpr), h = static_cast<int>(100 * dpr);
    EXPECT_EQ(w, wrapper->GetWidth());
    EXPECT_EQ(h, wrapper->GetHeight());
    EXPECT_EQ("Reshape " + std::to_string(w) + " " + std::to_string(h),
              [&] {
                  RecordingRenderer other;
                  wrapper->SetRenderer(&other);
                  wrapper->SetRenderer(&renderer);
                  return other.calls.back();
              }());
    renderer.calls.clear();
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, QPointF(0, 0));
    Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, QPointF((w - 0.5) / dpr, (h - 0.5) / dpr));
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, QPointF(0.4 / dpr, (h - 0.8) / dpr));
    EXPECT_EQ((Calls{"down 0 0 0 0", "up 0 " + std::to_string(w - 1) + " " + std::to_string(h - 1) + " 0",
                     "down 0 0 " + std::to_string(h - 1) + " 0"}),
              renderer.calls);
}

TEST_F(GLViewTest, MouseWheelAndKeyEventsBecomeListenerCalls)
{
    // The second release of a double click is the double click; a third click is plain.
    const QPointF p(5, 6);
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, p);
    Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, p);
    Mouse(QEvent::MouseButtonDblClick, Qt::LeftButton, p);
    Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, p);
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, p);
    Mouse(QEvent::MouseButtonRelease, Qt::LeftButton, p);
    // Buttons and modifiers follow the listener numbers; the back button is
    // dropped. None of these presses is released: each ends when the next
    // event says its button is no longer held (the view sends the release).
    Mouse(QEvent::MouseButtonPress, Qt::MiddleButton, QPointF(1, 1));
    Mouse(QEvent::MouseButtonPress, Qt::RightButton, QPointF(1, 1));
    Mouse(QEvent::MouseButtonPress, Qt::BackButton, QPointF(1, 1));
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, QPointF(1, 1), Qt::ShiftModifier | Qt::AltModifier);
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, QPointF(1, 1), Qt::MetaModifier);
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, QPointF(1, 1), Qt::ControlModifier);
    // Wheel steps are a hundred times the scroll amount, truncated.
    Wheel(36);
    Wheel(-180);
    Calls expected{"down 0 5 6 0", "up 0 5 6 0",   "down 0 5 6 0",    "double 0 5 6 0",   "down 0 5 6 0",
                   "up 0 5 6 0",   "down 1 1 1 0", "up 1 1 1 0",      "down 2 1 1 0",     "up 2 1 1 0",
                   "down 0 1 1 5", "up 0 1 1 5",   "down 0 1 1 0",    "up 0 1 1 0",       "down 0 1 1 2",
                   "wheel 30 10 20 0", "wheel -150 10 20 0"};
    // Keys become special codes or their first character.
    for (int k : {Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right, Qt::Key_PageUp, Qt::Key_PageDown,
                  Qt::Key_Home, Qt::Key_End})
        Key(k);
    Key(Qt::Key_A, "a", Qt::ShiftModifier);
    Key(Qt::Key_F5);
    for (int i = 1; i <= 8; ++i)
        expected.push_back("special " + std::to_string(i) + " 0");
    expected.push_back("key 97 1");
    // Buttonless moves arrive only when asked for; drags and leaving always.
    Mouse(QEvent::MouseMove, Qt::NoButton, QPointF(3, 4));
    wrapper->SetSendMouseMoved(true);
    Mouse(QEvent::MouseMove, Qt::NoButton, QPointF(5, 6));
    wrapper->SetSendMouseMoved(false);
    QMouseEvent drag(QEvent::MouseMove, QPointF(7, 8), view->mapToGlobal(QPointF(7, 8)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(view.get(), &drag);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view.get(), &leave);
    // The first buttonless move ends the last press, at the last position reported.
    expected.insert(expected.end(), {"up 0 10 20 0", "move 0 5 6 0", "move 0 7 8 0", "leave"});
    EXPECT_EQ(expected, renderer.calls);

    // Nothing is sent without a listener.
    renderer.calls.clear();
    wrapper->SetMouseListener(nullptr);
    wrapper->SetKeyListener(nullptr);
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, QPointF(1, 1));
    Wheel(120);
    Key(Qt::Key_A, "a");
    EXPECT_TRUE(renderer.calls.empty());
}

TEST_F(GLViewTest, SettingARendererInitialisesAndReshapesItAndNullClearsTheListeners)
{
    RecordingRenderer second;
    wrapper->SetRenderer(&second);
    EXPECT_EQ((Calls{"Initialize", "Reshape 200 100"}), second.calls);
    EXPECT_EQ(&second, view->renderer());
    wrapper->SetRenderer(nullptr);
    EXPECT_EQ(nullptr, view->renderer());
    EXPECT_EQ(nullptr, view->mouseListener());
    EXPECT_EQ(nullptr, view->keyListener());
}

TEST_F(GLViewTest, ASecondTimerReplacesTheFirstAndARendererStopsIt)
{
    CountingTimer first, second;
    wrapper->StartTimer(5, &first);
    wrapper->StartTimer(5, &second);
    // The first timer, were it running, would tick as often as the second.
    ASSERT_TRUE(QTest::qWaitFor([&] { return second.ticks > 1; }, 10000));
    EXPECT_EQ(0, first.ticks);
    wrapper->SetRenderer(&renderer);
    EXPECT_FALSE(wrapper->timerRunning());
    const int ticks = second.ticks;
    QTest::qWait(30);
    EXPECT_EQ(ticks, second.ticks);
}

TEST_F(GLViewTest, InvalidateFromAnotherThreadRedrawsOnTheMainThread)
{
    std::atomic<int> frames{0};
    std::thread::id drawnOn;
    renderer.draw = [&] {
        drawnOn = std::this_thread::get_id();
        ++frames;
    };
    QTest::qWait(20);
    frames = 0;
    std::thread([&] { wrapper->Invalidate(); }).join();
    ASSERT_TRUE(QTest::qWaitFor([&] { return frames > 0; }, 10000));
    EXPECT_EQ(std::this_thread::get_id(), drawnOn);
}

TEST_F(GLViewTest, CursorRectanglesAreFlippedFromTheBottomLeft)
{
    // The bottom 10 rows, in the renderer's bottom-left coordinates.
    renderer.cursors = [&] { wrapper->AddCursorRect(0, 0, 50, 10, Cursors::RESIZE_UP_DOWN); };
    wrapper->InvalidateCursorRects();
    // Rebuilt at the next turn of the event loop.
    EXPECT_TRUE(QTest::qWaitFor([&] { return view->cursorAt(10, 95) == Cursors::RESIZE_UP_DOWN; }, 10000));
    EXPECT_EQ(Cursors::ARROW, view->cursorAt(10, 5));
    EXPECT_EQ(Cursors::ARROW, view->cursorAt(60, 95));
    wrapper->SetSendMouseMoved(true);
    Mouse(QEvent::MouseMove, Qt::NoButton, QPointF(10, 95));
    EXPECT_EQ(Qt::SizeVerCursor, view->cursor().shape());
    // Outside ResetCursorRects nothing is collected.
    wrapper->AddCursorRect(0, 0, 200, 100, Cursors::MOVE);
    EXPECT_EQ(Cursors::ARROW, view->cursorAt(10, 5));
}

TEST_F(GLViewTest, TheFrameIsCapturedOpaqueAsTiffAndSavedWhole)
{
    renderer.draw = [] {
        glClearColor(1.0f, 0.0f, 0.0f, 0.0f);
        glClear(GL_COLOR_BUFFER_BIT);
    };
    const QByteArray tiff = view->getImageData();
    ASSERT_FALSE(tiff.isEmpty());
    QImage image;
    ASSERT_TRUE(image.loadFromData(tiff, "TIFF"));
    EXPECT_EQ(QSize(200, 100) * view->devicePixelRatioF(), image.size());
    EXPECT_EQ(qRgba(255, 0, 0, 255), image.pixel(0, 0));

    testsupport::TempDir dir;
    const QString path = QString::fromStdString(dir.File("frame.tiff"));
    ASSERT_TRUE(view->saveImage(path));
    EXPECT_EQ(QImage(path).pixel(5, 5), qRgba(255, 0, 0, 255));
    EXPECT_FALSE(view->saveImage(QString::fromStdString(dir.File("missing/frame.tiff"))));

    ASSERT_TRUE(view->copyToPasteboard());
    EXPECT_EQ(qRgba(255, 0, 0, 255), QApplication::clipboard()->image().pixel(3, 3));
    QImage pasted;
    ASSERT_TRUE(pasted.loadFromData(QApplication::clipboard()->mimeData()->data("image/tiff"), "TIFF"));
    EXPECT_EQ(qRgba(255, 0, 0, 255), pasted.pixel(3, 3));
}

// A press whose release the view does not get ends all the same: the view
// sends the button-up itself, once, at the last position it reported and
// later than a release that would keep the trackball spinning; the release
// arriving after all is dropped, and buttonless moves are plain moves again.
TEST(GLViewLostReleaseTest, APressWhoseReleaseIsLostEndsOnceAtTheLastPosition)
{
    Process();
    struct Recorder : RecordingRenderer
    {
        bool OnButtonDown(int b, int x, int y, int f, unsigned t) override
        {
            Record("down", b, x, y, f);
            times.push_back(t);
            if (duringPress)
                duringPress();
            return true;
        }
        bool OnButtonUp(int b, int x, int y, int f, unsigned t) override
        {
            times.push_back(t);
            return Record("up", b, x, y, f);
        }
        bool OnMouseMove(int x, int y, int f, unsigned t) override
        {
            times.push_back(t);
            return Record("move", 0, x, y, f);
        }
        std::vector<unsigned> times;
        std::function<void()> duringPress;
    } recorder;
    // The view in a window beside a field that can take the focus.
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* view = new GLView;
    auto* field = new QLineEdit;
    view->setMinimumSize(200, 100);
    layout->addWidget(view);
    layout->addWidget(field);
    GLViewWrapper wrapper(view);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, 20000));
    wrapper.SetRenderer(&recorder);
    wrapper.SetMouseListener(&recorder);
    wrapper.SetSendMouseMoved(true);
    auto openAlert = [&] {
        auto* box = new QMessageBox(QMessageBox::NoIcon, QString(), QStringLiteral("alert"), QMessageBox::Ok, &window);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    };
    const double dpr = view->devicePixelRatioF();
    auto at = [&](int x, int y) { return std::to_string(int(x * dpr)) + " " + std::to_string(int(y * dpr)); };
    unsigned long clock = 5000;
    auto send = [&](QEvent::Type type, int x, int y, Qt::MouseButton button, Qt::MouseButtons held,
                    Qt::KeyboardModifiers mods) {
        QMouseEvent e(type, QPointF(x, y), view->mapToGlobal(QPointF(x, y)), button, held, mods);
        e.setTimestamp(clock += 10);
        QApplication::sendEvent(view, &e);
    };

    enum Loss { AlertInThePress, AlertLater, FocusLost, MoveWithoutButton };
    const std::pair<Qt::MouseButton, Qt::KeyboardModifiers> presses[] = {
        {Qt::LeftButton, {}}, {Qt::LeftButton, Qt::ShiftModifier}, {Qt::RightButton, {}}};
    for (Loss loss : {AlertInThePress, AlertLater, FocusLost, MoveWithoutButton})
        for (const auto& [button, mods] : presses)
        {
            SCOPED_TRACE("loss " + std::to_string(loss) + ", button " + std::to_string(button) + ", shift " +
                         std::to_string(mods != Qt::NoModifier));
            window.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&window, 10000));
            view->setFocus();
            ASSERT_TRUE(QTest::qWaitFor([&] { return view->hasFocus(); }, 10000));
            recorder.calls.clear();
            recorder.times.clear();
            recorder.duringPress = loss == AlertInThePress ? std::function<void()>(openAlert) : nullptr;
            const std::string b = button == Qt::LeftButton ? "0 " : "2 ", f = mods ? " 1" : " 0";

            send(QEvent::MouseButtonPress, 20, 30, button, button, mods);
            Calls expected{"down " + b + at(20, 30) + f};
            if (loss != AlertInThePress)
            {
                send(QEvent::MouseMove, 25, 32, Qt::NoButton, button, mods);
                expected.push_back("move 0 " + at(25, 32) + f);
            }
            if (loss == AlertLater)
                openAlert();
            if (loss == FocusLost)
            {
                field->setFocus();
                ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }, 10000));
            }
            if (loss == MoveWithoutButton)
                send(QEvent::MouseMove, 40, 50, Qt::NoButton, Qt::NoButton, {});
            expected.push_back("up " + b + (loss == AlertInThePress ? at(20, 30) : at(25, 32)) + f);
            if (loss == MoveWithoutButton)
                expected.push_back("move 0 " + at(40, 50) + " 0");
            ASSERT_TRUE(QTest::qWaitFor(
                [] {
                    if (QWidget* modal = QApplication::activeModalWidget())
                        modal->close();
                    return QApplication::activeModalWidget() == nullptr;
                },
                10000));
            // The release arrives after all; then the pointer moves with no button.
            send(QEvent::MouseButtonRelease, 30, 35, button, Qt::NoButton, mods);
            send(QEvent::MouseMove, 40, 50, Qt::NoButton, Qt::NoButton, {});
            expected.push_back("move 0 " + at(40, 50) + " 0");
            EXPECT_EQ(expected, recorder.calls);
            const size_t up = loss == AlertInThePress ? 1 : 2;
            ASSERT_GT(recorder.times.size(), up);
            EXPECT_GE(recorder.times[up] - recorder.times[up - 1], 25u);
        }
    wrapper.SetRenderer(nullptr);
}

// Depth is read outside drawing (a click on a section): with a multisampled
// view MakeCurrent binds a resolved copy, so the read gives the drawn depth.
TEST(GLViewDepthTest, DepthReadsWorkOutsideDrawingWithAndWithoutSamples)
{
    Process();
    for (int samples : {0, 2})
    {
        UserPreferences::GetPreferences()->SetMaxSamples(4);
        UserPreferences::GetPreferences()->SetNumSamples(samples);
        QWidget window;
        auto* viewPtr = new GLView(&window);
        GLView& view = *viewPtr;
        view.resize(64, 48);
        window.resize(64, 48);
        GLViewWrapper wrapper(&view);
        GLTestRenderer renderer;
        int frames = 0;
        renderer.draw = [&] {
            ++frames;
            glClearDepth(0.25);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        };
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window, 20000));
        wrapper.SetRenderer(&renderer);
        EXPECT_EQ(samples, view.samples());
        // Display draws before it returns.
        wrapper.Display();
        EXPECT_EQ(1, frames);
        ASSERT_TRUE(wrapper.MakeCurrent());
        while (glGetError() != GL_NO_ERROR)
        {
        }
        float depth = -1.0f;
        glReadPixels(10, 10, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
        EXPECT_EQ(GLenum(GL_NO_ERROR), glGetError()) << "samples " << samples;
        EXPECT_NEAR(0.25f, depth, 0.001f) << "samples " << samples;
        wrapper.SetRenderer(nullptr);
    }
    UserPreferences::GetPreferences()->SetNumSamples(0);
}

// The same view tests in a process whose screen scales by 2.
TEST(GLViewScaleTest, TheViewTestsHoldWithAScaleFactorOfTwo)
{
    if (qEnvironmentVariableIsSet("QT_SCALE_FACTOR"))
        GTEST_SKIP() << "this is the scaled run";
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_SCALE_FACTOR", "2");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=GLViewTest.Corners*:GLViewTest.TheFrame*:GLViewDepthTest.*"});
    ASSERT_TRUE(child.waitForFinished(120000));
    const QString out = QString::fromUtf8(child.readAll());
    EXPECT_EQ(0, child.exitCode()) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 3 tests.")) << out.toStdString();
}

// A synchronous Display must reach the screen before it returns (a tab flash
// draws, then blocks): the X server's copy of the window shows the frame with
// no event processed in between.
TEST_F(GLViewTest, DisplayReachesTheScreenBeforeItReturns)
{
    auto screenPixel = [&] {
        const QPoint centre = view->mapToGlobal(QPoint(100, 50));
        return view->screen()->grabWindow(0, centre.x(), centre.y(), 1, 1).toImage().pixel(0, 0);
    };
    QTest::qWait(100);
    for (const QRgb colour : {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 255, 0)})
    {
        renderer.draw = [&] {
            glClearColor(qRed(colour) / 255.0f, qGreen(colour) / 255.0f, qBlue(colour) / 255.0f, 1.0f);
            glClear(GL_COLOR_BUFFER_BIT);
        };
        wrapper->Display();
        EXPECT_EQ(colour, screenPixel() | 0xff000000u);
    }
    renderer.draw = nullptr;
}

TEST_F(GLViewTest, FailuresInHandlersReachTheUserOnceAsAlertsNotTheEventLoop)
{
    auto& alerts = Process().services.alerts;
    alerts.clear();
    renderer.draw = [] { throw std::runtime_error("frame failed"); };
    wrapper->Display();
    wrapper->Display();
    EXPECT_EQ((std::vector<std::string>{"frame failed"}), alerts);
    renderer.draw = nullptr;
    wrapper->Display();
    renderer.draw = [] { throw std::runtime_error("frame failed"); };
    wrapper->Display();
    EXPECT_EQ(2u, alerts.size());
    renderer.draw = nullptr;

    struct Throwing : MouseListener
    {
        bool OnButtonDown(int, int, int, int, unsigned) override { throw std::runtime_error("press failed"); }
    } throwing;
    wrapper->SetMouseListener(&throwing);
    Mouse(QEvent::MouseButtonPress, Qt::LeftButton, QPointF(1, 1));
    EXPECT_EQ("press failed", alerts.back());
    wrapper->SetMouseListener(&renderer);
}
} // namespace
