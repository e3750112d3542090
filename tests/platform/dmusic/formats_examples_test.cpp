// The committed example piece in each of its DirectMusic formats loads with
// the length worked out by hand: 24 quarters at 100 a minute, 4 at 84 and 4
// at 68, and the MIDI files one unit more, the unit past their last time.
// (Its XMI file is the decoder's to convert.)
#include "loader_fixture.h"

namespace dmusictest {
namespace {

class ExampleFiles : public CLoaderTest {};

TEST_F(ExampleFiles, EveryFormatHasTheHandComputedLength)
{
    const double seconds = 24 * 60.0 / 100 + 4 * 60.0 / 84 + 4 * 60.0 / 68;  // 20.7866 s
    const struct {
        const char* file;
        dmusic::ESourceFormat format;
        double tolerance;
        int extraUnits;
    } files[] = {
        {"morning_walk.mid", dmusic::ESourceFormat::StandardMidi, 1e-5, 1},  // tempos in whole microseconds,
        {"morning_walk.rmi", dmusic::ESourceFormat::Rmid, 1e-5, 1},
        {"morning_walk.sgt", dmusic::ESourceFormat::Segment, 1e-6, 0},
    };
    size_t notes = 0;
    for (const auto& file : files) {
        SCOPED_TRACE(file.file);
        HRESULT hr = E_FAIL;
        IDirectMusicSegment* segment = LoadSegment(TESSARINE_SOURCE_DIR "/examples/" + std::string(file.file), &hr);
        ASSERT_EQ(hr, S_OK);
        auto model = dmusic::GetSegmentModel(segment);
        EXPECT_EQ(model->format, file.format);
        EXPECT_NEAR(model->LengthInSeconds(), seconds + file.extraUnits * 60.0 / (68 * 768), file.tolerance);
        if (notes == 0) notes = size_t(CountNotes(*model));
        EXPECT_EQ(size_t(CountNotes(*model)), notes);
        EXPECT_EQ(model->name, u"Morning Walk");
        segment->Release();
    }
    EXPECT_GT(notes, 80u);
}

}  // namespace
}  // namespace dmusictest
