#include "tests/ui/UITestEnvironment.h"
#include "common/TempFolder.h"
#include "ui/intake/SingleGleaneryInstance.h"
#include "ui/common/UISettings.h"

#include <QCoreApplication>
#include <QFile>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <future>
#include <string>

namespace {

// Runs work on a thread while this thread serves the running instance's socket.
template <typename F>
auto ServeWhile(F work)
{
    auto future = std::async(std::launch::async, work);
    while (future.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return future.get();
}

class SingleInstTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = TestHomeFolder() + "/run-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        folder_ = pattern;
    }

    // A later start of the same user: hands params over; True when accepted.
    bool HandOff(const QStringList& params)
    {
        return ServeWhile([&] {
            TSingleInst sender(folder_);
            QLocalSocket socket;
            return sender.FindPrevInstanceWindow(socket) && sender.SendParamsAndRestore(socket, params);
        });
    }

    // Sends raw bytes; the 32-bit answer, or -1 when the connection closed without one.
    int RawRequest(const std::string& path, const QByteArray& bytes)
    {
        return ServeWhile([&] {
            QLocalSocket socket;
            socket.connectToServer(QString::fromStdString(path));
            if (!socket.waitForConnected(2000))
                return -2;
            socket.write(bytes);
            socket.waitForBytesWritten(2000);
            while (socket.bytesAvailable() < 4)
                if (!socket.waitForReadyRead(3000))
                    return -1;
            QByteArray answer = socket.read(4);
            return static_cast<int>(static_cast<unsigned char>(answer[0]));
        });
    }

    static QByteArray Header(uint32_t kind, uint32_t id, uint32_t length)
    {
        QByteArray out;
        for (uint32_t v : {kind, id, length})
            for (int i = 0; i < 4; ++i)
                out.append(static_cast<char>((v >> (8 * i)) & 0xff));
        return out;
    }

    void Watch(TSingleInst& receiver)
    {
        receiver.OnParam = [this](const QString& p) { received_.append(p); };
        receiver.OnAllParamsCached = [this] { ++batches_; };
    }

    std::string folder_;
    QStringList received_;
    int batches_ = 0;
};

TEST_F(SingleInstTest, ParametersOfALaterStartReachTheRunningInstance)
{
    TSingleInst receiver(folder_);
    Watch(receiver);
    ASSERT_TRUE(receiver.Listen());
    const QStringList params{"http://example.com/a b", "/EDIT", QString::fromUtf8("/home/me/Jöb.GCJ")};
    EXPECT_TRUE(HandOff(params));
    EXPECT_EQ(received_, params);
    EXPECT_EQ(batches_, 1);

    // Without parameters the running window only comes to the front.
    received_.clear();
    EXPECT_TRUE(HandOff({}));
    EXPECT_TRUE(received_.isEmpty());
    EXPECT_EQ(batches_, 1);
}

TEST_F(SingleInstTest, WithoutARunningInstanceThisOneStarts)
{
    TSingleInst alone(folder_);
    EXPECT_TRUE(ServeWhile([&] { return alone.CanStartApp({"http://example.com/"}); }));

    // The program's own rule: a hand-off only while multiple instances are not allowed.
    TSingleGleaneryInstance receiver(folder_);
    Watch(receiver);
    ASSERT_TRUE(receiver.Listen());
    TSingleGleaneryInstance later(folder_);
    WriteSettingBool("Options", "AllowMultipleInstances", true);
    EXPECT_TRUE(ServeWhile([&] { return later.CanStartApp({"http://example.com/"}); }));
    EXPECT_TRUE(received_.isEmpty());
    WriteSettingBool("Options", "AllowMultipleInstances", false);
    EXPECT_FALSE(ServeWhile([&] { return later.CanStartApp({"http://example.com/"}); }));
    EXPECT_EQ(received_, QStringList{"http://example.com/"});
    WriteSettingBool("Options", "AllowMultipleInstances", true);
}

TEST_F(SingleInstTest, ALaterStartHandsOverAbsolutePathsAndNoEmptyParameters)
{
    TSingleInst receiver(folder_);
    Watch(receiver);
    ASSERT_TRUE(receiver.Listen());
    const QString relative = "handoff-test.GCJ";
    QFile file(QDir::current().filePath(relative));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    TSingleInst later(folder_);
    EXPECT_FALSE(ServeWhile([&] {
        return later.CanStartApp({"", relative, "  ", "missing.GCJ", "http://example.com/"});
    }));
    file.remove();
    EXPECT_FALSE(later.HandOffTimedOut());
    EXPECT_EQ(received_, (QStringList{QDir::current().filePath(relative), "missing.GCJ", "http://example.com/"}));
    EXPECT_EQ(TSingleInst::ParseParamBlock(TSingleInst::BuildParamBlock({"a", "", "b"})), (QStringList{"a", "b"}));
}

TEST_F(SingleInstTest, ARunningInstanceThatDoesNotAnswerIsWaitedForTenSecondsAtMost)
{
    TSingleInst probe(folder_);
    QLocalServer silent;  // accepts the connection, never answers
    ASSERT_TRUE(silent.listen(QString::fromStdString(probe.ServerPath())));
    TSingleInst later(folder_);
    EXPECT_FALSE(ServeWhile([&] { return later.CanStartApp({"http://example.com/"}); }));
    EXPECT_TRUE(later.HandOffTimedOut());
}

TEST_F(SingleInstTest, OversizedForeignAndUnknownRequestsAreRefused)
{
    TSingleInst receiver(folder_);
    Watch(receiver);
    ASSERT_TRUE(receiver.Listen());
    const std::string path = receiver.ServerPath();

    // Declared larger than the limit: refused before any of it is read.
    EXPECT_EQ(RawRequest(path, Header(1, 0, TSingleInst::kMaxBlockBytes + 1)), 0);
    // Another id, or an unknown kind.
    EXPECT_EQ(RawRequest(path, Header(1, 7, 2) + QByteArray("\0\0", 2)), 0);
    EXPECT_EQ(RawRequest(path, Header(9, 0, 0)), 0);
    // The sender itself refuses to build an oversized block.
    EXPECT_FALSE(HandOff({QString(TSingleInst::kMaxBlockBytes, 'a')}));
    EXPECT_TRUE(received_.isEmpty());
    EXPECT_EQ(batches_, 0);

    // A well-formed request still works on the same server.
    EXPECT_EQ(RawRequest(path, Header(1, 0, 3) + QByteArray("x\0\0", 3)), 1);
    EXPECT_EQ(received_, QStringList{"x"});
}

TEST_F(SingleInstTest, RequestsOfOtherUsersAreRefused)
{
    TSingleInst receiver(folder_, ::getuid() + 1);
    Watch(receiver);
    ASSERT_TRUE(receiver.Listen());
    EXPECT_FALSE(HandOff({"http://example.com/"}));
    EXPECT_TRUE(received_.isEmpty());
}

TEST_F(SingleInstTest, AFolderOthersCanEnterIsNotUsed)
{
    ASSERT_EQ(::chmod(folder_.c_str(), 0755), 0);
    TSingleInst receiver(folder_);
    EXPECT_TRUE(receiver.ServerPath().empty());
    EXPECT_FALSE(receiver.Listen());
}

TEST_F(SingleInstTest, ALeftOverSocketIsTakenOverButALiveOneIsNot)
{
    {
        TSingleInst first(folder_);
        ASSERT_TRUE(first.Listen());
        TSingleInst second(folder_);
        EXPECT_FALSE(second.Listen());  // the first still answers
    }
    // A socket file nobody listens on, as a crash leaves it.
    const std::string path = folder_ + "/SingleInst.MainWdw";
    ASSERT_TRUE(QFile(QString::fromStdString(path)).open(QIODevice::WriteOnly));
    TSingleInst third(folder_);
    EXPECT_TRUE(third.Listen());
}

TEST(SingleInstBlock, BlockRoundTripsAndParsingStopsAtItsEnd)
{
    const QStringList params{"a", QString::fromUtf8("ü b"), "/speak"};
    QByteArray block = TSingleInst::BuildParamBlock(params);
    EXPECT_EQ(block.size(), 1 + 1 + 4 + 1 + 6 + 1 + 1);
    EXPECT_EQ(TSingleInst::ParseParamBlock(block), params);
    // Nothing after the empty string, and no unterminated tail.
    EXPECT_EQ(TSingleInst::ParseParamBlock(QByteArray("a\0\0b\0", 5)), QStringList{"a"});
    EXPECT_EQ(TSingleInst::ParseParamBlock(QByteArray("a\0bcd", 5)), QStringList{"a"});
    EXPECT_TRUE(TSingleInst::ParseParamBlock(QByteArray()).isEmpty());
}

}  // namespace

TEST(SingleGleaneryInstance, OnlyAddressesAndFilesAreWork)
{
    TTempFolder folder;
    const std::string job = folder / "a.GCJ";
    WriteTextFile(job, "[FileInfo]\r\n");
    EXPECT_FALSE(TSingleGleaneryInstance::BringsWork({}));
    EXPECT_FALSE(TSingleGleaneryInstance::BringsWork({"/eventlog", "/edit", "  "}));
    EXPECT_FALSE(TSingleGleaneryInstance::BringsWork({"/speak", "hello"}));
    EXPECT_FALSE(TSingleGleaneryInstance::BringsWork({"not an address"}));
    EXPECT_TRUE(TSingleGleaneryInstance::BringsWork({"/eventlog", "http://127.0.0.1/"}));
    EXPECT_TRUE(TSingleGleaneryInstance::BringsWork({QString::fromStdString(job)}));
}
