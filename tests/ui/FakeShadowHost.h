#pragma once

#include "ShadowHost.h"

#include <vector>

// A shadow host that notes every switch of its shadow.
class CFakeShadowHost : public IShadowHost
{
public:
    bool IsShadowMode() const override { return m_bOn; }
    void SetShadowMode(bool bOn) override
    {
        m_bOn = bOn;
        m_switches.push_back(bOn);
    }

    bool m_bOn = false;
    std::vector<bool> m_switches;
};
