// The registration records and the two static services.
#include "tessarine/frame/services.h"

#include "tessarine/decoder/decoder_service.h"
#include "tessarine/frame/globals.h"
#include "tessarine/prefs/preferences_page.h"

namespace {

// Constant-initialised: null before the first registration is constructed.
CServiceRegistration* registrationListHead = nullptr;

}  // namespace

CServiceRegistration* GetFirstServiceRegistration() { return registrationListHead; }

CServiceRegistration::CServiceRegistration(const GUID& classId) : next(registrationListHead), classId(classId)
{
    registrationListHead = this;
}

// ---- Decoder ---------------------------------------------------------------

CDecoderRegistration::CDecoderRegistration() : CServiceRegistration(CLSID_MidiDecoderService) {}

CHostService* CDecoderRegistration::CreateInstance() { return CMidiDecoderService::Create(); }

// ---- Version information ---------------------------------------------------

void CVersionInfoService::GetFileName(CHostString* out) { out->SetText(GetComponentFileName(), -1); }

void CVersionInfoService::GetDisplayName(CHostString* out) { out->SetText("DirectMusic Synthesised MIDI player", -1); }

void CVersionInfoService::GetVersion(CHostString* out) { out->SetText("1.02", -1); }

void CVersionInfoService::GetAboutText(CHostString* out)
{
    out->SetText("Plays back MIDI files using the DirectMusic API", -1);
}

// ---- Preferences page --------------------------------------------------------

HWND CPreferencesPageService::CreatePage(HWND parent) { return CreatePreferencesPage(parent, this); }

const char* CPreferencesPageService::GetPageName() { return "DirectMusic Player"; }

const char* CPreferencesPageService::GetParentPageName() { return "Input"; }
