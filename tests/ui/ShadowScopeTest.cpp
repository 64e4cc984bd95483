#include "FakeShadowHost.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

TEST(ShadowScopeTest, SwitchesOffOnlyTheShadowItSwitchedOn)
{
    using Observed = std::vector<bool>;
    struct CCase
    {
        const char* m_szName;
        bool m_bDimmedBefore;
        // Runs the scopes; returns what it saw on the way: the host dimmed, a scope owning it.
        std::function<Observed(CFakeShadowHost&)> m_run;
        Observed m_observed;
        std::vector<bool> m_switches;
        bool m_bDimmedAfter;
    };
    const CCase cases[] = {
        {"one dialog",
         false,
         [](CFakeShadowHost& host) {
             const CShadowScope scope(&host);
             return Observed{host.m_bOn, scope.OwnsShadow()};
         },
         {true, true},
         {true, false},
         false},
        {"a dialog over a window dimmed by someone else",
         true,
         [](CFakeShadowHost& host) {
             const CShadowScope scope(&host);
             return Observed{host.m_bOn, scope.OwnsShadow()};
         },
         {true, false},
         {},
         true},
        {"a dialog over a dialog",
         false,
         [](CFakeShadowHost& host) {
             const CShadowScope outer(&host);
             Observed observed;
             {
                 const CShadowScope inner(&host);
                 observed = {host.m_bOn, inner.OwnsShadow()};
             }
             observed.push_back(host.m_bOn);
             return observed;
         },
         {true, false, true},
         {true, false},
         false},
        {"a kept shadow stays for the dialog after it, which leaves it too",
         false,
         [](CFakeShadowHost& host) {
             {
                 CShadowScope first(&host);
                 first.KeepShadow();
             }
             const bool bBetween = host.m_bOn;
             const CShadowScope next(&host);
             return Observed{bBetween, next.OwnsShadow()};
         },
         {true, false},
         {true},
         true},
        {"keeping a shadow found on does not keep the outer dialog's",
         false,
         [](CFakeShadowHost& host) {
             const CShadowScope outer(&host);
             CShadowScope inner(&host);
             inner.KeepShadow();
             return Observed{outer.OwnsShadow()};
         },
         {true},
         {true, false},
         false},
        {"a dialog that shows itself later dims then, once",
         false,
         [](CFakeShadowHost& host) {
             CShadowScope scope(&host, false);
             const bool bBefore = host.m_bOn;
             scope.Dim();
             scope.Dim();
             return Observed{bBefore, host.m_bOn, scope.OwnsShadow()};
         },
         {false, true, true},
         {true, false},
         false},
        {"a late dim over a window dimmed by someone else",
         true,
         [](CFakeShadowHost& host) {
             CShadowScope scope(&host, false);
             scope.Dim();
             return Observed{scope.OwnsShadow()};
         },
         {false},
         {},
         true},
        {"a late dim after someone else switched the shadow off meanwhile",
         false,
         [](CFakeShadowHost& host) {
             CShadowScope scope(&host);
             host.SetShadowMode(false);
             scope.Dim();
             return Observed{host.m_bOn};
         },
         {true},
         {true, false, true, false},
         false},
    };
    for (const CCase& test : cases)
    {
        SCOPED_TRACE(test.m_szName);
        CFakeShadowHost host;
        host.m_bOn = test.m_bDimmedBefore;
        EXPECT_EQ(test.m_run(host), test.m_observed);
        EXPECT_EQ(host.m_switches, test.m_switches);
        EXPECT_EQ(host.m_bOn, test.m_bDimmedAfter);
    }
}

TEST(ShadowScopeTest, WithoutAHostDimsNothing)
{
    CShadowScope scope(nullptr);
    scope.Dim();
    EXPECT_FALSE(scope.OwnsShadow());
}
