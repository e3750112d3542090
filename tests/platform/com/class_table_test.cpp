#include <gtest/gtest.h>

#include <comdef.h>
#include <ole2.h>
#include <platform/com_registry.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace {

DEFINE_GUID(CLSID_TestWidget, 0x5a1e0001, 0x1111, 0x4222, 0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66);
DEFINE_GUID(CLSID_Unregistered, 0x5a1e0002, 0x1111, 0x4222, 0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66);
DEFINE_GUID(IID_ITestWidget, 0x5a1e0003, 0x1111, 0x4222, 0x83, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66);

struct ITestWidget : IUnknown {
    STDMETHOD_(int, Kind)() PURE;
};

std::atomic<int> liveWidgets{0};

class CTestWidget : public ITestWidget {
public:
    explicit CTestWidget(int kind) : kind(kind) { ++liveWidgets; }
    virtual ~CTestWidget() { --liveWidgets; }

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_ITestWidget) {
            *object = static_cast<ITestWidget*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        ULONG left = --references;
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP_(int) Kind() override { return kind; }

private:
    std::atomic<ULONG> references{1};
    int kind;
};

HRESULT MakeWidget(int kind, LPUNKNOWN outer, REFIID iid, void** object)
{
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* widget = new CTestWidget(kind);
    HRESULT result = widget->QueryInterface(iid, object);
    widget->Release();
    return result;
}

HRESULT CreateOriginalWidget(LPUNKNOWN outer, REFIID iid, void** object) { return MakeWidget(1, outer, iid, object); }
HRESULT CreateReplacementWidget(LPUNKNOWN outer, REFIID iid, void** object)
{
    return MakeWidget(2, outer, iid, object);
}
HRESULT CreateFailing(LPUNKNOWN, REFIID, void** object)
{
    // A careless factory that leaves something in its output.
    *object = reinterpret_cast<void*>(0x1);
    return E_OUTOFMEMORY;
}

// Registered the way DirectSound and DirectMusic register their classes.
platform::ComClassRegistration registerWidget(CLSID_TestWidget, CreateOriginalWidget);

class ClassTable : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override
    {
        CoUninitialize();
        EXPECT_EQ(liveWidgets, 0) << "an object was leaked";
    }

    int CreatedKind(REFCLSID clsid = CLSID_TestWidget)
    {
        void* object = nullptr;
        if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_ITestWidget, &object))) return 0;
        auto* widget = static_cast<ITestWidget*>(object);
        int kind = widget->Kind();
        widget->Release();
        return kind;
    }
};

TEST_F(ClassTable, CreatesRegisteredClassesWithTheRequestedInterface)
{
    void* object = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_ALL, IID_IUnknown, &object), S_OK);
    auto* unknown = static_cast<IUnknown*>(object);
    EXPECT_EQ(OleRun(unknown), S_OK);
    void* widget = nullptr;
    ASSERT_EQ(unknown->QueryInterface(IID_ITestWidget, &widget), S_OK);
    EXPECT_EQ(static_cast<ITestWidget*>(widget)->Kind(), 1);
    static_cast<ITestWidget*>(widget)->Release();
    unknown->Release();
    EXPECT_EQ(CreatedKind(), 1);
}

TEST_F(ClassTable, FailuresReportTheirCodeAndClearTheOutput)
{
    void* object = reinterpret_cast<void*>(0xBAD);
    EXPECT_EQ(CoCreateInstance(CLSID_Unregistered, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);

    object = reinterpret_cast<void*>(0xBAD);
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_ALL, GUID_NULL, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    CTestWidget outer(0);
    object = reinterpret_cast<void*>(0xBAD);
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, &outer, CLSCTX_ALL, IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);

    object = reinterpret_cast<void*>(0xBAD);
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, 0, IID_IUnknown, &object), E_INVALIDARG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_ALL, IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(OleRun(nullptr), E_INVALIDARG);
}

TEST_F(ClassTable, ReplacementIsUsedAndTheOriginalComesBack)
{
    {
        platform::ScopedComClassReplacement replacement(CLSID_TestWidget, CreateReplacementWidget);
        EXPECT_EQ(replacement.Previous(), &CreateOriginalWidget);
        EXPECT_EQ(CreatedKind(), 2);
        {
            platform::ScopedComClassReplacement failing(CLSID_TestWidget, CreateFailing);
            void* object = nullptr;
            EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_ALL, IID_IUnknown, &object), E_OUTOFMEMORY);
            EXPECT_EQ(object, nullptr) << "a failed factory's output was handed on";
        }
        EXPECT_EQ(CreatedKind(), 2);
    }
    EXPECT_EQ(CreatedKind(), 1);
}

TEST_F(ClassTable, RegisteringReturnsThePreviousEntryAndNullRemovesIt)
{
    EXPECT_EQ(platform::RegisterComClass(CLSID_Unregistered, CreateReplacementWidget), nullptr);
    EXPECT_EQ(CreatedKind(CLSID_Unregistered), 2);
    EXPECT_EQ(platform::RegisterComClass(CLSID_Unregistered, nullptr), &CreateReplacementWidget);
    EXPECT_EQ(platform::FindComClass(CLSID_Unregistered), nullptr);
    EXPECT_EQ(CreatedKind(CLSID_Unregistered), 0);
    {
        // A replacement of an absent class leaves it absent afterwards.
        platform::ScopedComClassReplacement added(CLSID_Unregistered, CreateReplacementWidget);
        EXPECT_EQ(CreatedKind(CLSID_Unregistered), 2);
    }
    EXPECT_EQ(platform::FindComClass(CLSID_Unregistered), nullptr);
}

TEST(ClassTableApartment, CreationNeedsComOnTheCallingThread)
{
    std::thread([] {
        void* object = reinterpret_cast<void*>(0xBAD);
        EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_ALL, IID_IUnknown, &object), CO_E_NOTINITIALIZED);
        EXPECT_EQ(object, nullptr);
        // Another thread's apartment does not count for this one.
        std::thread([] { CoInitializeEx(nullptr, COINIT_MULTITHREADED); }).join();
        EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_ALL, IID_IUnknown, &object), CO_E_NOTINITIALIZED);
        // After the last CoUninitialize creation is refused again.
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        ASSERT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_ALL, IID_IUnknown, &object), S_OK);
        static_cast<IUnknown*>(object)->Release();
        CoUninitialize();
        EXPECT_EQ(CoCreateInstance(CLSID_TestWidget, nullptr, CLSCTX_ALL, IID_IUnknown, &object), CO_E_NOTINITIALIZED);
    }).join();
    EXPECT_EQ(liveWidgets, 0);
}

TEST(ComError, CarriesItsResultCodeAndText)
{
    try {
        _com_issue_error(E_POINTER);
        FAIL() << "_com_issue_error returned";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), E_POINTER);
        EXPECT_EQ(error.WCode(), 0);
        EXPECT_STREQ(error.ErrorMessage(), "Invalid pointer");
    }
    _com_error interfaceError(static_cast<HRESULT>(0x80040205));
    EXPECT_EQ(interfaceError.WCode(), 5);
    EXPECT_STREQ(interfaceError.ErrorMessage(), "IDispatch error #5");
    EXPECT_EQ(_com_error::WCodeToHRESULT(5), static_cast<HRESULT>(0x80040205));
    _com_error unknown(static_cast<HRESULT>(0x8876017C));
    EXPECT_STREQ(unknown.ErrorMessage(), "Unknown error 0x8876017C");
    _com_error copy = unknown;
    EXPECT_EQ(copy.Error(), unknown.Error());
    EXPECT_STREQ(copy.ErrorMessage(), "Unknown error 0x8876017C");
    EXPECT_STREQ(_com_error(REGDB_E_CLASSNOTREG).ErrorMessage(), "Class not registered");
}

}  // namespace
