// The entry point, the component interface and the three registrations.
#include "fake_host.h"

#include "tessarine/frame/host_access.h"
#include "tessarine/frame/services.h"

#include <thread>

namespace {

CComponentInterface* Component()
{
    static CFakeHost host;
    return velmora_get_interface(&host, nullptr);
}

CServiceRegistration* FindRegistration(const GUID& cls)
{
    for (CServiceRegistration* r = Component()->GetFirstRegistration(); r; r = r->next)
        if (IsEqualGUID(r->classId, cls)) return r;
    return nullptr;
}

TEST(Entry, StoresBothArgumentsAndAlwaysGivesTheSameInterface)
{
    CFakeHost first, second;
    auto* instance = reinterpret_cast<HINSTANCE>(0x1234);
    CComponentInterface* a = velmora_get_interface(&first, instance);
    EXPECT_EQ(GetHostInterface(), &first);
    EXPECT_EQ(GetModuleInstance(), instance);
    CComponentInterface* b = velmora_get_interface(&second, nullptr);
    EXPECT_EQ(a, b);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(GetHostInterface(), &second);
    EXPECT_EQ(GetModuleInstance(), nullptr);
    EXPECT_EQ(a->GetInterfaceVersion(), 35);
    a->NoOperation();
    a->SetServicesFlag(1);
    EXPECT_EQ(a->GetInterfaceVersion(), 35);
    velmora_get_interface(nullptr, nullptr);
}

TEST(Registry, ListRunsVersionInformationPageDecoder)
{
    CServiceRegistration* first = Component()->GetFirstRegistration();
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first->next, nullptr);
    ASSERT_NE(first->next->next, nullptr);
    EXPECT_TRUE(IsEqualGUID(first->classId, CLSID_VersionInfoService));
    EXPECT_TRUE(IsEqualGUID(first->next->classId, CLSID_PreferencesPageService));
    EXPECT_TRUE(IsEqualGUID(first->next->next->classId, CLSID_MidiDecoderService));
    EXPECT_EQ(first->next->next->next, nullptr);
}

TEST(Registry, RecordsHaveTheHostsLayout)
{
    // table pointer, next, then the 16 GUID bytes; the single service follows.
    CServiceRegistration* first = Component()->GetFirstRegistration();
    auto* words = reinterpret_cast<void**>(first);
    EXPECT_EQ(words[1], first->next);
    const GUID guid = CLSID_VersionInfoService;
    EXPECT_EQ(std::memcmp(&words[2], &guid, sizeof guid), 0);
    CHostService* service = first->CreateInstance();
    EXPECT_EQ(reinterpret_cast<char*>(service), reinterpret_cast<char*>(&words[2]) + sizeof(GUID));
}

TEST(Registry, StaticServicesAreOneObjectThatIgnoresCounting)
{
    CServiceRegistration* page = FindRegistration(CLSID_PreferencesPageService);
    ASSERT_NE(page, nullptr);
    CHostService* a = page->CreateInstance();
    CHostService* b = page->CreateInstance();
    EXPECT_EQ(a, b);
    EXPECT_EQ(a->AddRef(), 1);
    EXPECT_EQ(a->Release(), 1);
    EXPECT_EQ(a->Release(), 1);
    EXPECT_EQ(a->QueryClass(&CLSID_PreferencesPageService), nullptr);

    auto* pageService = static_cast<CPreferencesPageInterface*>(a);
    EXPECT_STREQ(pageService->GetPageName(), "DirectMusic Player");
    EXPECT_STREQ(pageService->GetParentPageName(), "Input");
}

TEST(Registry, VersionInformationTexts)
{
    auto* info = static_cast<CVersionInfoInterface*>(FindRegistration(CLSID_VersionInfoService)->CreateInstance());
    CHostStringBuffer text;
    Component()->SetLibraryNames("", "");
    info->GetFileName(&text);
    EXPECT_STREQ(text.GetText(), "");
    info->GetDisplayName(&text);
    EXPECT_STREQ(text.GetText(), "DirectMusic Synthesised MIDI player");
    info->GetVersion(&text);
    EXPECT_STREQ(text.GetText(), "1.02");
    info->GetAboutText(&text);
    EXPECT_STREQ(text.GetText(), "Plays back MIDI files using the DirectMusic API");
    EXPECT_EQ(info->QueryClass(&CLSID_VersionInfoService), nullptr);
}

TEST(Registry, SetLibraryNamesKeepsOnlyTheLatestCopies)
{
    auto* info = static_cast<CVersionInfoInterface*>(FindRegistration(CLSID_VersionInfoService)->CreateInstance());
    CHostStringBuffer text;
    std::string name = "first/tessarine.dll";
    Component()->SetLibraryNames("lib", name.c_str());
    name.assign("overwritten");  // the component keeps its own copy
    info->GetFileName(&text);
    EXPECT_STREQ(text.GetText(), "first/tessarine.dll");
    EXPECT_STREQ(GetComponentFileName(), "first/tessarine.dll");
    Component()->SetLibraryNames("lib2", "second.dll");
    info->GetFileName(&text);
    EXPECT_STREQ(text.GetText(), "second.dll");
    Component()->SetLibraryNames("x", "");
    EXPECT_STREQ(GetComponentFileName(), "");
    Component()->SetLibraryNames(nullptr, nullptr);
    EXPECT_STREQ(GetComponentFileName(), "");
}

// ---- The decoder object ------------------------------------------------------

CDecoderServiceInterface* NewDecoder()
{
    return static_cast<CDecoderServiceInterface*>(FindRegistration(CLSID_MidiDecoderService)->CreateInstance());
}

TEST(Decoder, EachCreationIsANewObjectWithOneReference)
{
    CDecoderServiceInterface* a = NewDecoder();
    CDecoderServiceInterface* b = NewDecoder();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->AddRef(), 2);
    EXPECT_EQ(a->Release(), 1);
    EXPECT_EQ(a->Release(), 0);
    EXPECT_EQ(b->Release(), 0);
}

TEST(Decoder, QueryClassAnswersOnlyItsOwnClass)
{
    CDecoderServiceInterface* decoder = NewDecoder();
    EXPECT_EQ(decoder->QueryClass(&CLSID_PreferencesPageService), nullptr);
    EXPECT_EQ(decoder->AddRef(), 2);  // unchanged by the refused query
    EXPECT_EQ(decoder->QueryClass(&CLSID_MidiDecoderService), decoder);
    EXPECT_EQ(decoder->Release(), 2);
    EXPECT_EQ(decoder->Release(), 1);
    EXPECT_EQ(decoder->Release(), 0);
}

TEST(Decoder, FixedAnswersOfItsTable)
{
    CDecoderServiceInterface* decoder = NewDecoder();
    EXPECT_EQ(decoder->RankForTrack(nullptr, nullptr), 1);
    EXPECT_TRUE(decoder->CanSeek());
    EXPECT_TRUE(decoder->HasFixedLength());
    decoder->NoOperation11();
    EXPECT_FALSE(decoder->WriteTrackInfo(nullptr, nullptr, nullptr));
    EXPECT_TRUE(decoder->OpenTrack(nullptr, nullptr, 0));
    decoder->Release();
}

// Runs body on a fresh thread, whose COM apartment starts uninitialised.
template <class TBody> void OnFreshThread(TBody body)
{
    std::thread thread(body);
    thread.join();
}

TEST(Decoder, EntersASingleThreadedApartmentAndLeavesItAtDestruction)
{
    OnFreshThread([] {
        CDecoderServiceInterface* decoder = NewDecoder();
        // Already entered by the decoder, in the same model.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
        CoUninitialize();
        decoder->Release();
        // Balanced: the thread is back outside any apartment.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CoUninitialize();
    });
}

TEST(Decoder, RefusedApartmentIsNotLeft)
{
    OnFreshThread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        CDecoderServiceInterface* decoder = NewDecoder();  // refused: other model
        decoder->Release();
        // The thread's own entry must still stand.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
        CoUninitialize();
        CoUninitialize();
    });
}

}  // namespace
