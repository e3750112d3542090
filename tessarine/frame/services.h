// The frame's service objects and registration records: the two static
// services (version information, preferences page) and the registration
// kind that hands out one embedded object.
#pragma once

#include "sdk/velmora/host_contract.h"
#include "tessarine/frame/sdk.h"

// Head of the registration list (version information, page, decoder).
CServiceRegistration* GetFirstServiceRegistration();

// The one static CComponentInterface that velmora_get_interface returns.
CComponentInterface* GetComponentInterface();

// Objects that live as long as the library: counting does nothing.
template <class TInterface> class CStaticService : public TInterface {
public:
    int32_t Release() override { return 1; }
    int32_t AddRef() override { return 1; }
    CHostService* QueryClass(const GUID*) override { return nullptr; }
};

class CVersionInfoService final : public CStaticService<CVersionInfoInterface> {
public:
    void GetFileName(CHostString* out) override;
    void GetDisplayName(CHostString* out) override;
    void GetVersion(CHostString* out) override;
    void GetAboutText(CHostString* out) override;
};

class CPreferencesPageService final : public CStaticService<CPreferencesPageInterface> {
public:
    HWND CreatePage(HWND parent) override;
    const char* GetPageName() override;
    const char* GetParentPageName() override;

    HWND pageWindow = nullptr;  // the page's dialog while it is live
};

// A registration followed directly by the one service object it hands out.
template <class TService> class CSingleServiceRegistration final : public CServiceRegistration {
public:
    explicit CSingleServiceRegistration(const GUID& classId) : CServiceRegistration(classId) {}

    CHostService* CreateInstance() override
    {
        service.AddRef();
        return &service;
    }

    TService service;
};

// The decoder's registration: a new object per CreateInstance.
class CDecoderRegistration final : public CServiceRegistration {
public:
    CDecoderRegistration();
    CHostService* CreateInstance() override;
};
