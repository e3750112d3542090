// The loader's own behaviour: descriptors good and bad, files it cannot open,
// the search directory, recognition by content, caching, SetObject, scanning
// and enumeration.
#include <dmerror.h>

#include "loader_fixture.h"
#include "tests/support/chunk_writer.h"

#include <fstream>
#include <iterator>

namespace dmusictest {
namespace {

using testsupport::CSmfBuilder;

std::vector<uint8_t> SmallSmf(int notes = 1)
{
    CSmfBuilder smf(0, 96);
    auto& track = smf.AddTrack();
    for (int i = 0; i < notes; ++i) track.NoteOn(0, 0, uint8_t(60 + i), 100).NoteOff(96, 0, uint8_t(60 + i));
    return smf.Build();
}

class LoaderApi : public CLoaderTest {};

TEST_F(LoaderApi, DescriptorsAndFilesItCannotUse)
{
    IDirectMusicSegment* segment = nullptr;
    void** out = reinterpret_cast<void**>(&segment);
    DMUS_OBJECTDESC desc = Descriptor(CLSID_DirectMusicSegment, (scratch / "missing.mid").string());
    EXPECT_EQ(loader->GetObject(&desc, IID_IDirectMusicSegment, out), DMUS_E_LOADER_FAILEDOPEN);
    EXPECT_EQ(segment, nullptr);
    desc = Descriptor(CLSID_DirectMusicSegment, scratch.string());  // a folder, not a file
    EXPECT_EQ(loader->GetObject(&desc, IID_IDirectMusicSegment, out), DMUS_E_LOADER_FAILEDOPEN);
    desc = Descriptor(CLSID_DirectMusicSegment, "");
    EXPECT_EQ(loader->GetObject(&desc, IID_IDirectMusicSegment, out), DMUS_E_LOADER_FAILEDOPEN);

    EXPECT_EQ(loader->GetObject(nullptr, IID_IDirectMusicSegment, out), E_POINTER);
    desc = Descriptor(CLSID_DirectMusicSegment, Write("a.mid", SmallSmf()));
    EXPECT_EQ(loader->GetObject(&desc, IID_IDirectMusicSegment, nullptr), E_POINTER);
    DMUS_OBJECTDESC small = desc;
    small.dwSize = 16;
    EXPECT_EQ(loader->GetObject(&small, IID_IDirectMusicSegment, out), E_INVALIDARG);
    DMUS_OBJECTDESC unterminated = desc;
    for (WCHAR& c : unterminated.wszFileName) c = u'x';
    EXPECT_EQ(loader->GetObject(&unterminated, IID_IDirectMusicSegment, out), E_INVALIDARG);
    DMUS_OBJECTDESC classless = desc;
    classless.dwValidData &= ~DWORD(DMUS_OBJ_CLASS);
    EXPECT_EQ(loader->GetObject(&classless, IID_IDirectMusicSegment, out), DMUS_E_LOADER_NOCLASSID);
    // The right file asked for an interface the segment lacks.
    EXPECT_EQ(loader->GetObject(&desc, IID_IDirectMusicCollection, out), E_NOINTERFACE);
    EXPECT_EQ(segment, nullptr);
    // A MIDI file asked for as a collection.
    DMUS_OBJECTDESC asCollection = Descriptor(CLSID_DirectMusicCollection, Write("b.mid", SmallSmf()));
    EXPECT_EQ(loader->GetObject(&asCollection, IID_IDirectMusicCollection, out), DMUS_E_UNSUPPORTED_STREAM);
}

// The content decides, whatever the name: a MIDI file wearing a segment's
// extension loads; a wave file does not, nor does XMI, which is no
// DirectMusic format (the bundled example, or one under a MIDI file's name).
TEST_F(LoaderApi, FormatsAreRecognisedByContentNotExtension)
{
    std::ifstream example(TESSARINE_SOURCE_DIR "/examples/morning_walk.xmi", std::ios::binary);
    const std::vector<uint8_t> xmi((std::istreambuf_iterator<char>(example)), std::istreambuf_iterator<char>());
    ASSERT_FALSE(xmi.empty());
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        HRESULT result;
        int notes;
    } rows[] = {
        {"song.sgt", SmallSmf(3), S_OK, 3},
        {"noise.mid", {'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V', 'E'}, DMUS_E_UNSUPPORTED_STREAM, 0},
        {"morning_walk.xmi", xmi, DMUS_E_UNSUPPORTED_STREAM, 0},
        {"song.mid", xmi, DMUS_E_UNSUPPORTED_STREAM, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HRESULT hr = E_FAIL;
        IDirectMusicSegment* segment = LoadSegment(Write(row.name, row.bytes), &hr);
        EXPECT_EQ(hr, row.result);
        ASSERT_EQ(segment != nullptr, SUCCEEDED(row.result));
        if (!segment) continue;
        EXPECT_EQ(CountNotes(*dmusic::GetSegmentModel(segment)), row.notes);
        segment->Release();
    }
}

TEST_F(LoaderApi, RelativeNamesUseTheSearchDirectory)
{
    Write("relative.mid", SmallSmf(2));
    std::u16string folder = Wide(scratch.string());
    EXPECT_EQ(loader->SetSearchDirectory(GUID_DirectMusicAllTypes, folder.data(), TRUE), S_OK);
    EXPECT_EQ(loader->SetSearchDirectory(GUID_DirectMusicAllTypes, folder.data(), FALSE), S_FALSE);
    std::u16string file = Wide((scratch / "relative.mid").string());
    EXPECT_EQ(loader->SetSearchDirectory(GUID_DirectMusicAllTypes, file.data(), TRUE), DMUS_E_LOADER_BADPATH);
    EXPECT_EQ(loader->SetSearchDirectory(GUID_DirectMusicAllTypes, nullptr, TRUE), E_POINTER);

    DMUS_OBJECTDESC desc = Descriptor(CLSID_DirectMusicSegment, "relative.mid", DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME);
    IDirectMusicSegment* segment = nullptr;
    ASSERT_EQ(loader->GetObject(&desc, IID_IDirectMusicSegment, reinterpret_cast<void**>(&segment)), S_OK);
    EXPECT_EQ(CountNotes(*dmusic::GetSegmentModel(segment)), 2);
    segment->Release();
}

TEST_F(LoaderApi, CacheGivesTheSameObjectUntilDisabled)
{
    const std::string path = Write("cached.mid", SmallSmf());
    IDirectMusicSegment* first = LoadSegment(path);
    IDirectMusicSegment* second = LoadSegment(path);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    second->Release();
    // The engine's set-up: no cache for any class; each load is a new object.
    EXPECT_EQ(loader->EnableCache(GUID_DirectMusicAllTypes, FALSE), S_OK);
    EXPECT_EQ(loader->EnableCache(GUID_DirectMusicAllTypes, FALSE), S_FALSE);
    IDirectMusicSegment* third = LoadSegment(path);
    IDirectMusicSegment* fourth = LoadSegment(path);
    EXPECT_NE(third, first);
    EXPECT_NE(third, fourth);
    // A changed file is read afresh.
    Write("cached.mid", SmallSmf(4));
    IDirectMusicSegment* fifth = LoadSegment(path);
    EXPECT_EQ(CountNotes(*dmusic::GetSegmentModel(fifth)), 4);
    for (IDirectMusicSegment* s : {first, third, fourth, fifth}) s->Release();
}

TEST_F(LoaderApi, TheDefaultCollectionIsKnownWithoutAFile)
{
    DMUS_OBJECTDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwValidData = DMUS_OBJ_CLASS | DMUS_OBJ_OBJECT;
    desc.guidClass = CLSID_DirectMusicCollection;
    desc.guidObject = GUID_DefaultGMCollection;
    auto get = [&](IDirectMusicCollection** collection) {
        return loader->GetObject(&desc, IID_IDirectMusicCollection, reinterpret_cast<void**>(collection));
    };
    IDirectMusicCollection* first = nullptr;
    IDirectMusicCollection* second = nullptr;
    ASSERT_EQ(get(&first), S_OK);
    ASSERT_EQ(get(&second), S_OK);
    EXPECT_EQ(first, second);  // cached like a file's collection
    second->Release();
    ASSERT_EQ(loader->EnableCache(CLSID_DirectMusicCollection, FALSE), S_OK);
    ASSERT_EQ(get(&second), S_OK);
    EXPECT_NE(first, second);
    // A segment takes it as its collection.
    IDirectMusicSegment* segment = LoadSegment(Write("gm.mid", SmallSmf()));
    ASSERT_NE(segment, nullptr);
    EXPECT_EQ(segment->SetParam(GUID_ConnectToDLSCollection, 0xFFFFFFFF, 0, 0, second), S_OK);
    EXPECT_TRUE(dmusic::GetSegmentModel(segment)->connectedCollection->defaultSet);
    // Only that GUID: another object GUID with no file is still not found.
    desc.guidObject = CLSID_DirectMusicSegment;
    IDirectMusicCollection* none = nullptr;
    EXPECT_EQ(get(&none), DMUS_E_LOADER_FAILEDOPEN);
    for (IUnknown* object : std::initializer_list<IUnknown*>{first, second, segment}) object->Release();
}

TEST_F(LoaderApi, CacheObjectAndReleaseObject)
{
    const std::string path = Write("kept.mid", SmallSmf());
    ASSERT_EQ(loader->EnableCache(CLSID_DirectMusicSegment, FALSE), S_OK);
    IDirectMusicSegment* segment = LoadSegment(path);
    ASSERT_NE(segment, nullptr);
    ASSERT_EQ(loader->EnableCache(CLSID_DirectMusicSegment, TRUE), S_OK);
    IDirectMusicObject* object = nullptr;
    ASSERT_EQ(segment->QueryInterface(IID_IDirectMusicObject, reinterpret_cast<void**>(&object)), S_OK);
    EXPECT_EQ(loader->CacheObject(object), S_OK);
    EXPECT_EQ(loader->CacheObject(object), S_FALSE);
    IDirectMusicSegment* again = LoadSegment(path);
    EXPECT_EQ(again, segment);  // found in the cache by its file name
    again->Release();
    EXPECT_EQ(loader->ReleaseObject(object), S_OK);
    EXPECT_EQ(loader->ReleaseObject(object), S_FALSE);
    IDirectMusicSegment* fresh = LoadSegment(path);
    EXPECT_NE(fresh, segment);
    fresh->Release();
    EXPECT_EQ(loader->ClearCache(GUID_DirectMusicAllTypes), S_OK);
    object->Release();
    segment->Release();
}

TEST_F(LoaderApi, SetObjectScanAndEnumerate)
{
    const auto bytes = SmallSmf(5);
    DMUS_OBJECTDESC memory = Descriptor(CLSID_DirectMusicSegment, "", DMUS_OBJ_CLASS | DMUS_OBJ_MEMORY | DMUS_OBJ_NAME);
    memory.pbMemData = const_cast<BYTE*>(bytes.data());
    memory.llMemLength = LONGLONG(bytes.size());
    const std::u16string name = u"tune";
    std::copy(name.begin(), name.end(), memory.wszName);
    ASSERT_EQ(loader->SetObject(&memory), S_OK);
    // Found again by its name alone.
    DMUS_OBJECTDESC byName = Descriptor(CLSID_DirectMusicSegment, "", DMUS_OBJ_CLASS | DMUS_OBJ_NAME);
    std::copy(name.begin(), name.end(), byName.wszName);
    IDirectMusicSegment* segment = nullptr;
    ASSERT_EQ(loader->GetObject(&byName, IID_IDirectMusicSegment, reinterpret_cast<void**>(&segment)), S_OK);
    EXPECT_EQ(CountNotes(*dmusic::GetSegmentModel(segment)), 5);
    segment->Release();

    Write("one.mid", SmallSmf());
    Write("two.MID", SmallSmf());
    Write("text.mid", {'h', 'e', 'l', 'l', 'o'});
    std::u16string folder = Wide(scratch.string());
    ASSERT_EQ(loader->SetSearchDirectory(CLSID_DirectMusicSegment, folder.data(), FALSE), S_OK);
    std::u16string ext = u"mid";
    EXPECT_EQ(loader->ScanDirectory(CLSID_DirectMusicSegment, ext.data(), nullptr), S_OK);
    int found = 0;
    DMUS_OBJECTDESC entry = {};
    entry.dwSize = sizeof entry;
    while (loader->EnumObject(CLSID_DirectMusicSegment, found, &entry) == S_OK) ++found;
    EXPECT_EQ(found, 3);  // the memory object and the two real MIDI files
    EXPECT_EQ(loader->EnumObject(CLSID_DirectMusicCollection, 0, &entry), S_FALSE);
}

// A scan lists a file only under a name that opens it again: one whose name
// is not UTF-8 has no UTF-16 name on this platform and is passed over.
TEST_F(LoaderApi, ScanListsOnlyFilesItCanNameAgain)
{
    struct CRow {
        const char* file;
        std::u16string listedAs;  // empty: not listed
    };
    const CRow rows[] = {
        {"plain.mid", u"plain"},
        {"\xc3\xa9t\xc3\xa9.mid", u"\u00e9t\u00e9"},
        {"bad\xff.mid", u""},
    };
    std::vector<std::u16string> expected;
    for (const CRow& row : rows) {
        Write(row.file, SmallSmf());
        if (!row.listedAs.empty()) expected.push_back(row.listedAs);
    }
    std::u16string folder = Wide(scratch.string());
    ASSERT_EQ(loader->SetSearchDirectory(CLSID_DirectMusicSegment, folder.data(), FALSE), S_OK);
    std::u16string ext = u"mid";
    ASSERT_EQ(loader->ScanDirectory(CLSID_DirectMusicSegment, ext.data(), nullptr), S_OK);
    std::vector<std::u16string> listed;
    DMUS_OBJECTDESC entry = {};
    entry.dwSize = sizeof entry;
    for (DWORD i = 0; loader->EnumObject(CLSID_DirectMusicSegment, i, &entry) == S_OK; ++i) {
        listed.emplace_back(entry.wszName);
        // Each listed file loads by the name the scan gave it.
        DMUS_OBJECTDESC again =
            Descriptor(CLSID_DirectMusicSegment, "", DMUS_OBJ_CLASS | DMUS_OBJ_FILENAME | DMUS_OBJ_FULLPATH);
        std::copy(std::begin(entry.wszFileName), std::end(entry.wszFileName), again.wszFileName);
        IDirectMusicSegment* segment = nullptr;
        EXPECT_EQ(loader->GetObject(&again, IID_IDirectMusicSegment, reinterpret_cast<void**>(&segment)), S_OK)
            << std::string(listed.back().begin(), listed.back().end());
        if (segment) segment->Release();
    }
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);
}

}  // namespace
}  // namespace dmusictest
