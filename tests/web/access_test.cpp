// Tokens and sessions on a clock the tests move: one session at a time, its
// end after 15 minutes without input or at logout, a token good for one
// session, and wrong tokens held back per address.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "frontends/web/access.h"

namespace orva::web {
namespace {

using namespace std::chrono_literals;

class AccessTest : public ::testing::Test {
protected:
    AccessTest() {
        access.on_new_token([this] { announced.push_back(access.token()); });
    }
    Access access{"the-token", [this] { return "session-" + std::to_string(++m_made); }};
    Clock::time_point t0 = Clock::time_point() + 1000h;
    std::string session;
    std::vector<std::string> announced;

private:
    int m_made = 0;
};

TEST_F(AccessTest, TheTokenBuysOneSessionAtATime) {
    EXPECT_FALSE(access.in_use(t0));
    ASSERT_EQ(access.login("10.0.0.1", "the-token", t0, &session), Access::Login::Ok);
    EXPECT_EQ(session, "session-1");
    EXPECT_TRUE(access.valid("session-1", t0));
    EXPECT_FALSE(access.valid("session-2", t0));
    EXPECT_FALSE(access.valid("", t0));
    std::string other;
    EXPECT_EQ(access.login("10.0.0.2", "the-token", t0, &other), Access::Login::InUse);
    EXPECT_EQ(other, "");
    EXPECT_EQ(access.login("10.0.0.2", "the-tokeN", t0, &other), Access::Login::WrongToken);
    EXPECT_EQ(access.login("10.0.0.2", "", t0, &other), Access::Login::WrongToken);
}

TEST_F(AccessTest, ASessionEndsAfterFifteenMinutesWithoutInput) {
    ASSERT_EQ(access.login("a", "the-token", t0, &session), Access::Login::Ok);
    EXPECT_TRUE(access.valid(session, t0 + 14min + 59s));
    access.touch(t0 + 10min);
    EXPECT_EQ(access.idle_deadline(), t0 + 25min);
    EXPECT_TRUE(access.valid(session, t0 + 24min + 59s));
    EXPECT_FALSE(access.expire(t0 + 24min + 59s));
    EXPECT_TRUE(access.expire(t0 + 25min));
    EXPECT_FALSE(access.expire(t0 + 26min));
    EXPECT_FALSE(access.valid(session, t0 + 25min));
    EXPECT_FALSE(access.in_use(t0 + 25min));
    EXPECT_EQ(access.idle_deadline(), std::nullopt);
    // The next operator gets a new session, with the token announced.
    ASSERT_EQ(announced.size(), 1u);
    ASSERT_EQ(access.login("b", announced[0], t0 + 26min, &session), Access::Login::Ok);
    EXPECT_EQ(session, "session-2");
}

TEST_F(AccessTest, LogoutEndsOnlyTheLiveSession) {
    ASSERT_EQ(access.login("a", "the-token", t0, &session), Access::Login::Ok);
    EXPECT_FALSE(access.logout("session-9"));
    EXPECT_FALSE(access.logout(""));
    EXPECT_TRUE(access.valid(session, t0));
    EXPECT_TRUE(access.logout(session));
    EXPECT_FALSE(access.valid(session, t0));
    EXPECT_FALSE(access.logout(session));
    EXPECT_EQ(access.login("a", access.token(), t0, &session), Access::Login::Ok);
    EXPECT_FALSE(access.valid("session-1", t0));
}

TEST_F(AccessTest, ATokenOpensOneSessionAndItsEndAnnouncesTheNext) {
    std::vector<std::string> tokens{"the-token"};
    for (bool idle : {false, true, false}) {
        const auto t = t0 + tokens.size() * 1h;
        ASSERT_EQ(access.login("a", tokens.back(), t, &session), Access::Login::Ok);
        EXPECT_EQ(access.login("b", tokens.back(), t, &session), Access::Login::InUse);
        EXPECT_EQ(announced.size(), tokens.size() - 1);
        if (idle) EXPECT_TRUE(access.expire(t + Access::kIdleLimit));
        else EXPECT_TRUE(access.logout(session));
        ASSERT_EQ(announced.size(), tokens.size()) << idle;
        EXPECT_EQ(announced.back(), access.token());
        EXPECT_EQ(announced.back().size(), 32u);
        for (const std::string& spent : tokens)
            EXPECT_EQ(access.login("a", spent, t + 1h - 1s, &session), Access::Login::WrongToken);
        tokens.push_back(announced.back());
    }
    EXPECT_EQ(std::set<std::string>(tokens.begin(), tokens.end()).size(), tokens.size());
}

TEST_F(AccessTest, WrongTokensAreHeldBackButNeverTheRightOne) {
    for (int i = 0; i < Access::kFreeFailures; ++i) {
        EXPECT_EQ(access.login("a", "guess", t0 + i * 1s, &session), Access::Login::WrongToken);
        EXPECT_EQ(access.wrong_token_hold("a", t0 + i * 1s), Clock::duration::zero()) << i;
    }
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(access.login("a", "guess", t0 + 10s, &session), Access::Login::WrongToken);
        EXPECT_EQ(access.wrong_token_hold("a", t0 + 10s), Access::kWrongTokenHold);
    }
    EXPECT_EQ(access.wrong_token_hold("b", t0 + 10s), Clock::duration::zero());
    // The right token is taken at once, from that address too.
    EXPECT_EQ(access.login("a", "the-token", t0 + 10s, &session), Access::Login::Ok);
    // A minute after the last wrong token, the next is answered at once.
    EXPECT_EQ(access.login("a", "guess", t0 + 70s, &session), Access::Login::WrongToken);
    EXPECT_EQ(access.wrong_token_hold("a", t0 + 70s), Clock::duration::zero());
}

TEST(Secrets, RandomNamesAreUrlSafeAndDiffer) {
    std::set<std::string> seen;
    for (int i = 0; i < 100; ++i) {
        std::string name = random_name(24);
        EXPECT_EQ(name.size(), 32u);
        EXPECT_EQ(name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_"),
                  std::string::npos);
        seen.insert(name);
    }
    EXPECT_EQ(seen.size(), 100u);
    EXPECT_EQ(random_name(32).size(), 43u);
}

TEST(Secrets, SameSecretComparesWholeValues) {
    EXPECT_TRUE(same_secret("abc", "abc"));
    EXPECT_TRUE(same_secret("", ""));
    EXPECT_FALSE(same_secret("abc", "abd"));
    EXPECT_FALSE(same_secret("abc", "abcd"));
    EXPECT_FALSE(same_secret("abc", ""));
    EXPECT_FALSE(same_secret(std::string("a\0b", 3), "a"));
}

}  // namespace
}  // namespace orva::web
