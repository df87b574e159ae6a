#include "network/NetFile.h"

#include "network/NetEventListener.h"
#include "support/FakeNetFile.h"

#include <gtest/gtest.h>

using testsupport::FakeNetFile;

namespace
{
// Aborts its own transfer from inside the transfer's first callback.
class Holder : public NetEventListener
{
public:
    NetFile* transfer = nullptr;
    void DownloadComplete(const void*, unsigned long) override { transfer = nullptr; }
    void DownloadFailed(const std::string&) override { transfer = nullptr; }
    void ResponseReceived(const std::string&, unsigned long) override { NetFile::AbortAndClear(transfer); }
    void DataReceived(const void*, unsigned long) override {}
};
} // namespace

TEST(NetFile, AbortAndClearForgetsTheTransferThenAbortsIt)
{
    FakeNetFile::Install();
    Holder holder;
    holder.transfer = NetFile::Create("http://atlas.test/a", &holder, true);
    NetFile::AbortAndClear(holder.transfer);
    EXPECT_EQ(holder.transfer, nullptr);
    EXPECT_EQ(FakeNetFile::AbortCount(), 1);
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);

    // A cleared pointer is left alone.
    NetFile::AbortAndClear(holder.transfer);
    EXPECT_EQ(FakeNetFile::AbortCount(), 1);

    // From inside the transfer's own callback.
    holder.transfer = NetFile::Create("http://atlas.test/b", &holder, true);
    EXPECT_FALSE(FakeNetFile::Latest()->Respond());
    EXPECT_EQ(holder.transfer, nullptr);
    EXPECT_EQ(FakeNetFile::AbortCount(), 2);
    EXPECT_EQ(FakeNetFile::LiveCount(), 0);
    FakeNetFile::Uninstall();
}
