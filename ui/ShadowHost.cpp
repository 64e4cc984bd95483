#include "ShadowHost.h"

CShadowScope::CShadowScope(IShadowHost* pHost, bool bDim) : m_pHost(pHost)
{
    if (bDim)
        Dim();
}

CShadowScope::~CShadowScope()
{
    if (m_bOwned)
        m_pHost->SetShadowMode(false);
}

void CShadowScope::Dim()
{
    if (!m_pHost || m_pHost->IsShadowMode())
        return;
    m_pHost->SetShadowMode(true);
    m_bOwned = true;
}
