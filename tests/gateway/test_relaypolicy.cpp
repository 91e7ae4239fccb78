#include <gtest/gtest.h>

#include "gateway/answers.h"
#include "gateway/relaypolicy.h"

using namespace tamarin::gateway;

namespace {

ServerKey keyOf(const char* entry) {
    return std::get<ServerKey>(serverKeyFromText(QString::fromLatin1(entry)));
}

RelayPolicy policy() {
    return RelayPolicy(
        {keyOf("q3:192.0.2.1:27960"), keyOf("q3:game.example:27960"), keyOf("q3:10.0.0.5:27960")},
        {QHostAddress("127.0.0.1")}, 1, 2);
}

}  // namespace

TEST(RelayPolicy, EveryRefusalHasOneShapeAndTheAnswerCarriesIt) {
    const RelayPolicy p = policy();
    EXPECT_FALSE(p.judgeTarget(keyOf("q3:192.0.2.1:27960")));
    const struct {
        KeyOrError target;
        int status;
        const char* state;
    } cases[] = {
        {serverKeyFromParts("zz", "192.0.2.1", "27960"), 400, "unknown game"},
        {serverKeyFromParts("q3", "", "27960"), 400, "bad request"},
        {keyOf("oa:192.0.2.1:27960"), 403, "not allowed"},  // allowed as q3 only
    };
    for (const auto& c : cases) {
        const std::optional<Refusal> refusal = p.judgeTarget(c.target);
        ASSERT_TRUE(refusal) << c.state;
        EXPECT_EQ(refusal->httpStatus, c.status);
        EXPECT_EQ(refusal->state, c.state);
        const Answer answer = refusalAnswer(*refusal);
        EXPECT_EQ(answer.status, c.status);
        EXPECT_EQ(answer.cacheControl, "no-store");
        EXPECT_TRUE(answer.body.contains(QByteArray("\"state\":\"") + c.state + '"'));
    }
}

TEST(RelayPolicy, ANameMayLeadIntoPrivateAddressesOnlyWhereListed) {
    const RelayPolicy p = policy();
    const ServerKey named = keyOf("q3:game.example:27960");
    EXPECT_FALSE(p.judgeResolved(named, QHostAddress("192.0.2.1")));
    EXPECT_FALSE(p.judgeResolved(named, QHostAddress("10.0.0.5")));  // listed as a literal too
    const std::optional<Refusal> inward = p.judgeResolved(named, QHostAddress("10.0.0.6"));
    ASSERT_TRUE(inward);
    EXPECT_EQ(inward->httpStatus, 403);
    EXPECT_EQ(inward->key, named);
}

TEST(RelayPolicy, AClientsBudgetAndWhoTheClientIs) {
    RelayPolicy p = policy();
    const QHostAddress client("198.51.100.9");
    EXPECT_FALSE(p.admit(client, 0));
    EXPECT_FALSE(p.admit(client, 0));
    const std::optional<Refusal> busy = p.admit(client, 0);
    ASSERT_TRUE(busy);
    EXPECT_EQ(busy->httpStatus, 429);
    EXPECT_GE(busy->retryAfterSeconds, 1);
    EXPECT_EQ(refusalAnswer(*busy).retryAfter, busy->retryAfterSeconds);
    EXPECT_FALSE(p.admit(QHostAddress("198.51.100.10"), 0));  // another client is not held up
    // Only a trusted proxy may say whom it forwards, and only its own last entry counts.
    EXPECT_EQ(p.clientOf(QHostAddress("127.0.0.1"), "1.1.1.1, 203.0.113.4"),
              QHostAddress("203.0.113.4"));
    EXPECT_EQ(p.clientOf(QHostAddress("127.0.0.2"), "203.0.113.4"), QHostAddress("127.0.0.2"));
    EXPECT_EQ(p.clientOf(QHostAddress("127.0.0.1"), "junk"), QHostAddress("127.0.0.1"));
}
