#include "platform/QtMainThreadDispatcher.h"

#include "support/FakePlatformServices.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>
#include <vector>

namespace
{
// Installs the Qt dispatcher for one test and puts back what was there.
class DispatcherScope
{
public:
    DispatcherScope() : m_previous(GetMainThreadDispatcher()) { InstallQtMainThreadDispatcher(); }
    ~DispatcherScope() { SetMainThreadDispatcher(m_previous); }

private:
    MainThreadDispatcher* m_previous;
};

TEST(QtMainThreadDispatcherTest, CallsFromAnyThreadRunOnTheMainThreadInOrderFromTheEventLoop)
{
    DispatcherScope scope;
    const std::thread::id mainThread = std::this_thread::get_id();
    std::vector<int> order;
    std::vector<std::thread::id> ranOn;
    auto post = [&](int i) {
        PostToMainThread([&order, &ranOn, i] {
            order.push_back(i);
            ranOn.push_back(std::this_thread::get_id());
        });
    };
    post(0);
    std::thread worker([&] {
        for (int i = 1; i < 4; ++i)
            post(i);
    });
    worker.join();
    // Nothing runs before the event loop gets its turn, not even a call
    // posted on the main thread.
    EXPECT_TRUE(order.empty());
    EXPECT_TRUE(QTest::qWaitFor([&] { return order.size() == 4; }, 5000));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(ranOn, std::vector<std::thread::id>(4, mainThread));
}

TEST(QtMainThreadDispatcherTest, AnExceptionOfACallBecomesAnAlert)
{
    DispatcherScope scope;
    testsupport::FakePlatformServices services;
    bool after = false;
    PostToMainThread([] { throw std::runtime_error("The atlas could not be loaded."); });
    PostToMainThread([] { throw 7; });
    PostToMainThread([&after] { after = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return after; }, 5000));
    EXPECT_EQ(services.alerts,
              (std::vector<std::string>{"The atlas could not be loaded.", "An unexpected error occurred."}));
}
} // namespace
