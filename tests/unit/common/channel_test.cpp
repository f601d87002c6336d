#include "common/channel.hpp"

#include <thread>

#include <gtest/gtest.h>

namespace lk {
namespace {

TEST(Channel, DeliversInOrderAcrossThreadsAndClosesWhenSendersAreGone) {
    auto [sender, receiver] = make_channel<int>();
    std::thread producer([tx = std::move(sender)]() mutable {
        for (int i = 0; i < 1000; ++i) {
            ASSERT_TRUE(tx.send(i));
        }
    });
    for (int i = 0; i < 1000; ++i) {
        EXPECT_EQ(receiver.recv(), i);
    }
    producer.join();
    EXPECT_EQ(receiver.recv(), std::nullopt);
    int out = 0;
    EXPECT_EQ(receiver.try_recv(out), RecvStatus::closed);
}

TEST(Channel, SenderSeesAGoneReceiver) {
    auto [sender, receiver] = make_channel<int>();
    receiver.close();
    EXPECT_EQ(sender.try_send(1), SendStatus::closed);
    EXPECT_TRUE(sender.is_closed());
}

TEST(Channel, BoundedChannelDropsWhenFull) {
    auto [sender, receiver] = make_bounded_channel<int>(2);
    EXPECT_EQ(sender.try_send(1), SendStatus::sent);
    EXPECT_EQ(sender.try_send(2), SendStatus::sent);
    EXPECT_EQ(sender.try_send(3), SendStatus::full);
    int out = 0;
    EXPECT_EQ(receiver.try_recv(out), RecvStatus::received);
    EXPECT_EQ(out, 1);
    EXPECT_EQ(sender.try_send(4), SendStatus::sent);
}

TEST(Channel, TimedReceiveTimesOutWhileSendersLive) {
    auto [sender, receiver] = make_channel<int>();
    int out = 0;
    EXPECT_EQ(receiver.recv_for(out, std::chrono::milliseconds(5)), RecvStatus::timed_out);
    sender.reset();
    EXPECT_EQ(receiver.recv_for(out, std::chrono::milliseconds(5)), RecvStatus::closed);
}

TEST(Oneshot, ValueOrDroppedSenderIsObservable) {
    {
        auto [sender, receiver] = make_oneshot<std::string>();
        std::thread([tx = std::move(sender)]() mutable { tx.send("done"); }).join();
        EXPECT_EQ(receiver.recv(), "done");
        EXPECT_EQ(receiver.recv(), std::nullopt);
    }
    {
        auto [sender, receiver] = make_oneshot<std::string>();
        std::thread([tx = std::move(sender)]() mutable { (void)tx; }).join();
        EXPECT_EQ(receiver.recv(), std::nullopt);  // dropped without a value
    }
}

}  // namespace
}  // namespace lk
