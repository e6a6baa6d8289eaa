#include "log/impersonation_pause.h"

#include "win/handles.h"
#include "win/security.h"

ImpersonationPause::ImpersonationPause() {
    if (OpenThreadToken(GetCurrentThread(), TOKEN_IMPERSONATE, TRUE, &m_token))
        RevertToSelf();
    else
        m_token = nullptr;
}

ImpersonationPause::~ImpersonationPause() {
    if (m_token) {
        SetThreadToken(nullptr, m_token);
        CloseHandle(m_token);
    }
}
