// The BIN/CUE a build writes while it lays the image out: the image writer's
// units, reserved runs, track gaps and rewrites (in sectors still gathered
// for writing and in sectors already on the disk, across unit boundaries,
// beside record patches that are no sector) give the very BIN and cue sheet
// that the export makes from the finished image, with or without the image.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "image/container.h"
#include "imagetools/bincue.h"
#include "imagetools/bincue_writer.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

std::array<uint8_t, kForm1DataSize> Filled(uint32_t seed) {
    std::array<uint8_t, kForm1DataSize> data;
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(seed * 31 + i * 7);
    return data;
}

// Lays out a CVD-kind disc of two video tracks through `image`, with
// rewrites of the kinds the layout makes; returns the bytes it read back
// from a patched unit.
std::vector<uint8_t> LayOut(ImageContainer& image) {
    image.SetDiscKind(DiscKind::Cvd);  // its signature rewrites sector 0 at once
    image.SetVideoTrackCount(2);
    image.BeginTail();
    image.BeginImage();
    const uint64_t firstUnits = image.ImagePosition();
    for (uint32_t i = 0; i < 300; ++i) image.AppendForm1Unit(i % 7 ? kDataSubheader : kLastDataSubheader, Filled(i).data());
    image.ReserveSectors(40);
    std::array<uint8_t, kForm2UnitSize> form2{};
    for (uint32_t i = 0; i < 20; ++i) {
        kVideoSubheader.WriteTo(form2.data());
        form2[100] = uint8_t(i);
        image.AppendForm2Unit(form2.data());
    }
    image.CloseStoredRun();
    // A record in the system area long written; the end of unit 30 with the
    // subheader and first bytes of unit 31; one in the last units, still
    // gathered for the BIN.
    const uint8_t record[] = {0xDE, 0xAD, 0xBE, 0x00, 0x00, 0x89, 0x00, 0x00, 0x00, 0x89, 0x00, 0x01, 0x02};
    image.WriteImageAt(firstUnits + 2 * kForm1UnitSize + 100, record, sizeof record);
    image.WriteImageAt(firstUnits + 31 * kForm1UnitSize - 3, record, sizeof record);
    image.WriteImageAt(firstUnits + 299 * kForm1UnitSize + 8, record, sizeof record);
    std::vector<uint8_t> readBack(sizeof record + 6);
    EXPECT_TRUE(image.ReadImageAt(firstUnits + 31 * kForm1UnitSize - 6, readBack.data(), readBack.size()));
    image.SetSectorCounter(360);
    image.CloseDataTrack(400);
    for (unsigned track = 2; track <= 3; ++track) {
        image.OpenVideoTrack();
        for (uint32_t i = 0; i < 150; ++i) {
            kVideoSubheader.WriteTo(form2.data());
            form2[9] = uint8_t(track * 50 + i);
            image.AppendForm2Unit(form2.data());
        }
        image.CloseVideoTrack(track, 150);
    }
    // The track table in sector 0, after the tracks (as the CVD writer does).
    image.WriteImageAt(image.SystemAreaOffset() + kSubheaderSize + 10, record, 2);
    image.FinishImage();
    return readBack;
}

TEST(BinCueWriter, GivesTheExportOfTheImageWithOrWithoutTheImage) {
    test::TempDir dir;
    std::optional<BinCueWriter> beside(std::in_place, dir / "beside.cue");
    ImageContainer image;
    ASSERT_TRUE(beside->Create()) << beside->Error();
    ASSERT_TRUE(image.CreateImage(dir / "disc.img") && image.CreateTail(dir / "tail1.tmp"));
    image.SetSectorSink(&*beside);
    const std::vector<uint8_t> readFromImage = LayOut(image);
    ASSERT_TRUE(image.Ok() && image.Close()) << image.Error();
    ASSERT_TRUE(beside->Finish() && beside->Keep()) << beside->Error();

    std::optional<BinCueWriter> alone(std::in_place, dir / "alone.cue");
    ImageContainer noImage;
    ASSERT_TRUE(alone->Create()) << alone->Error();
    ASSERT_TRUE(noImage.CreateTail(dir / "tail2.tmp"));
    noImage.WriteNoImageFile(alone->BinPath());
    noImage.SetSectorSink(&*alone);
    const std::vector<uint8_t> readFromBin = LayOut(noImage);
    ASSERT_TRUE(noImage.Ok() && noImage.Close()) << noImage.Error();
    ASSERT_TRUE(alone->Finish() && alone->Keep()) << alone->Error();
    EXPECT_EQ(readFromBin, readFromImage) << "a unit read back from the BIN differs from the image's";
    EXPECT_EQ(std::vector<uint8_t>(readFromImage.begin() + 3, readFromImage.begin() + 7),
              (std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0x00}));

    BinCueRequest request;
    request.imagePath = dir / "disc.img";
    request.cuePath = dir / "export.cue";
    std::string error;
    ASSERT_TRUE(ExportBinCue(request, &error)) << error;
    const std::string exported = test::ReadText(dir / "export.bin");
    ASSERT_EQ(exported.size(), (416 + 2 * (152 + 150 + 10)) * kRawSectorSize) << test::ReadText(dir / "export.cue");
    EXPECT_TRUE(test::ReadText(dir / "beside.bin") == exported) << "the BIN beside the image differs";
    EXPECT_TRUE(test::ReadText(dir / "alone.bin") == exported) << "the BIN without an image differs";
    std::string cue = test::ReadText(dir / "export.cue");
    cue.replace(cue.find("export.bin"), 10, "alone.bin");
    EXPECT_EQ(test::ReadText(dir / "alone.cue"), cue);
    EXPECT_FALSE(test::FileExists(dir / "alone.img"));
}

TEST(BinCueWriter, SectorsOutOfOrderAndUnwrittenRewritesFailTheBin) {
    test::TempDir dir;
    BinCueWriter writer(dir / "x.cue");
    ASSERT_TRUE(writer.Create());
    const std::array<uint8_t, kForm1UnitSize> unit{};
    writer.PutUnit(0, RunForm::Form1, unit.data());
    writer.PutEmpty(1, 3);
    EXPECT_TRUE(writer.Ok());
    writer.PatchUnit(4, RunForm::Form1, 0, unit.data(), 8);
    EXPECT_NE(writer.Error().find("sector 4 is rewritten before it was written"), std::string::npos) << writer.Error();

    BinCueWriter gap(dir / "y.cue");
    ASSERT_TRUE(gap.Create());
    gap.PutUnit(0, RunForm::Form1, unit.data());
    gap.PutUnit(2, RunForm::Form1, unit.data());
    EXPECT_NE(gap.Error().find("sector 2 came out of order (sector 1 was due)"), std::string::npos) << gap.Error();
    EXPECT_FALSE(gap.Finish());
    EXPECT_TRUE(gap.Discard() && writer.Discard());
    EXPECT_TRUE(std::filesystem::is_empty(dir.Path()));
}

}  // namespace
}  // namespace qorvcd
