#include <gtest/gtest.h>

#include <tuple>
#include "VideoIO/FilterUtil/ConsumerMap.h"
#include "VideoIO/FilterUtil/ConsumerToken.h"

#include "tests/FilterUtil/Steps.h"

using qm::test::ExpectSteps;
using qm_DSFilters::ConsumerMap;
using qm_DSFilters::CreateConsumerToken;

namespace {

// A token with its number; released at the end.
struct Token {
    explicit Token(LONG number) { EXPECT_EQ(CreateConsumerToken(number, &token), S_OK); }
    ~Token() {
        if (token) token->Release();
    }
    IConsumerToken* token = nullptr;
};

TEST(ConsumerTokenTest, InterfacesShareOneObjectAndRefuseTheRest) {
    // The IIDs by value: other modules ask for them so.
    const IID kToken = {
        0xA47C0368, 0xB3DC, 0x4044, {0xA5, 0xE7, 0x69, 0x79, 0x63, 0x2A, 0x75, 0x3F}};
    const IID kPrivate = {
        0x844C0DB2, 0xFE95, 0x4521, {0xA6, 0x8B, 0x2B, 0x53, 0xAC, 0x8A, 0x07, 0x21}};
    Token t(7);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(t.token->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown, static_cast<IUnknown*>(t.token));
    IConsumerToken* again = nullptr;
    ASSERT_EQ(t.token->QueryInterface(kToken, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again, t.token);
    IConsumerTokenPrivate* priv = nullptr;
    ASSERT_EQ(t.token->QueryInterface(kPrivate, reinterpret_cast<void**>(&priv)), S_OK);
    ASSERT_NE(priv, nullptr);
    EXPECT_NE(static_cast<void*>(priv), static_cast<void*>(t.token));  // the second part

    // What the private part sets, the token reads; any value is stored.
    EXPECT_EQ(std::tuple(t.token->GetState(), t.token->GetConsumerNumber()),
              std::tuple(State_Running, 7));
    EXPECT_EQ(priv->SetState(FILTER_STATE(3)), S_OK);
    EXPECT_EQ(t.token->GetState(), FILTER_STATE(3));

    // The private part answers for the same object too.
    IConsumerToken* viaPrivate = nullptr;
    ASSERT_EQ(priv->QueryInterface(kToken, reinterpret_cast<void**>(&viaPrivate)), S_OK);
    EXPECT_EQ(viaPrivate, t.token);
    void* p = t.token;
    EXPECT_EQ(t.token->QueryInterface(IID_IMemAllocator, &p), E_NOINTERFACE);
    EXPECT_EQ(p, nullptr);
    ExpectSteps(
        {{[&] { return t.token->QueryInterface(kToken, nullptr); }, E_POINTER},
         {[] { return CreateConsumerToken(1, nullptr); }, E_POINTER, "ppConsumerToken != 0"}});

    // One creation reference plus the four taken above: releasing them all in turn leaves
    // exactly the creation reference.
    EXPECT_EQ(viaPrivate->Release(), 4u);
    EXPECT_EQ(priv->Release(), 3u);
    EXPECT_EQ(again->Release(), 2u);
    EXPECT_EQ(unknown->Release(), 1u);
}

TEST(ConsumerMapTest, NumbersAreNeverReusedAndTokensAreHeldWhileRegistered) {
    ConsumerMap map;
    Token a(map.NextConsumerNumber()), b(map.NextConsumerNumber());
    EXPECT_EQ(std::tuple(a.token->GetConsumerNumber(), b.token->GetConsumerNumber()),
              std::tuple(1, 2));
    ASSERT_EQ(map.Add(a.token), S_OK);
    ASSERT_EQ(map.Add(b.token), S_OK);
    ExpectSteps({{[&] { return map.Add(a.token); }, E_INVALIDARG},  // registered once only
                 {[&] { return map.Add(nullptr); }, E_POINTER}});
    EXPECT_EQ(map.size(), 2u);
    // The map's reference: one AddRef/Release pair shows the count.
    EXPECT_EQ(a.token->AddRef(), 3u);
    a.token->Release();
    ASSERT_NE(map.Find(b.token), nullptr);
    EXPECT_EQ(map.Find(b.token)->GetNumber(), 2);
    EXPECT_EQ(map.Remove(a.token), S_OK);
    EXPECT_EQ(map.Remove(a.token), S_FALSE);
    EXPECT_EQ(map.Find(a.token), nullptr);
    EXPECT_EQ(a.token->AddRef(), 2u);
    a.token->Release();
    EXPECT_EQ(map.NextConsumerNumber(), 3);  // not 2 again after a removal
}

}  // namespace
