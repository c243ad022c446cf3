// A small plain ISO image assembled from this folder's record encoders, read
// back by an independent ISO 9660 reader (iso-info from libcdio).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "iso9660/dir_tree.h"
#include "iso9660/directory_record.h"
#include "iso9660/path_table.h"
#include "iso9660/volume_descriptor.h"
#include "platform/clock.h"
#include "session/build_context.h"
#include "session/disc_kind.h"
#include "tests/support/test_support.h"

namespace qorvcd {
namespace {

constexpr size_t kSector = 2048;
constexpr uint32_t kHelloSector = 21;
constexpr uint32_t kVcdSector = 22;
constexpr uint32_t kVolumeSectors = 23;
const std::string kHello = "hello world\n";

void PutSector(std::vector<uint8_t>& image, uint32_t sector, const uint8_t* data, size_t size) {
    std::memcpy(image.data() + sector * kSector, data, size);
}

// "." and ".." then the records of the children, as one directory sector.
std::vector<uint8_t> DirectorySector(const DirNode& dir, uint32_t self, uint32_t parent, const RecordTime& t) {
    std::vector<uint8_t> sector(kSector, 0);
    size_t used = EncodeDirectoryRecord(DotRecord(false, self, kSector, t), sector.data(), kSector);
    used += EncodeDirectoryRecord(DotRecord(true, parent, kSector, t), sector.data() + used, kSector - used);
    ForEachChild(&dir, [&](DirNode* child) {
        DirectoryRecord r = RecordForNode(*child, t);
        if (child->IsDirectory()) {
            r.extent = child->startSector;
            r.dataLength = kSector;
        }
        used += EncodeDirectoryRecord(r, sector.data() + used, kSector - used);
    });
    return sector;
}

TEST(IsoReaderCheck, IndependentReaderListsTheTree) {
    if (!test::HaveProgram("iso-info")) GTEST_SKIP() << "iso-info not installed";
    BuildContext ctx;
    ctx.kind = DiscKind::Vcd30;
    ctx.clock = Clock::Fixed(1772714096);
    const RecordTime t = RecordTimeFrom(ctx.clock);

    DirTree tree;
    tree.CreateRoot();
    DirNode* hello = tree.AddFile("HELLO.TXT", NodeKind::Form1File, NodeFlag::Listed, uint32_t(kHello.size()));
    hello->startSector = kHelloSector;
    tree.ChangeDir("\\VCD");
    tree.FindPath("\\VCD")->startSector = kVcdSector;

    auto pvd = BuildPrimaryVolumeDescriptor(nullptr, ctx);
    ASSERT_TRUE(pvd);
    auto tables = BuildPathTables(tree, nullptr);
    ASSERT_TRUE(tables);
    SetPathTableFields(*pvd, tables->sizeInBytes, 18, 19);
    CompleteVolumeDescriptor(*pvd, kVolumeSectors, t, false);

    std::vector<uint8_t> image(kVolumeSectors * kSector, 0);
    PutSector(image, 16, pvd->data(), pvd->size());
    const auto terminator = BuildVolumeDescriptorSetTerminator();
    PutSector(image, 17, terminator.data(), terminator.size());
    PutSector(image, 18, tables->little.data(), kSector);
    PutSector(image, 19, tables->big.data(), kSector);
    PutSector(image, 20, DirectorySector(*tree.Root(), 20, 20, t).data(), kSector);
    PutSector(image, kHelloSector, reinterpret_cast<const uint8_t*>(kHello.data()), kHello.size());
    PutSector(image, kVcdSector, DirectorySector(*tree.FindPath("\\VCD"), kVcdSector, 20, t).data(), kSector);

    test::TempDir dir;
    test::WriteBytes(dir / "mini.iso", image);
    const test::CommandResult listing = test::RunCommand("iso-info --no-header -l -i " + (dir / "mini.iso"));
    ASSERT_EQ(listing.exitCode, 0) << listing.output;
    // The reader shows names in lower case without their version.
    EXPECT_NE(listing.output.find("[LSN     21]        12"), std::string::npos) << listing.output;
    EXPECT_NE(listing.output.find("[LSN     22]      2048"), std::string::npos) << listing.output;
    EXPECT_NE(listing.output.find("VCD30_202603 5"), std::string::npos) << listing.output;
    EXPECT_EQ(listing.output.find("rror"), std::string::npos) << listing.output;

    const test::CommandResult found = test::RunCommand("iso-info --no-header -f -i " + (dir / "mini.iso"));
    EXPECT_NE(found.output.find("12 /hello.txt"), std::string::npos) << found.output;
    EXPECT_NE(found.output.find("2048 /vcd"), std::string::npos) << found.output;
}

}  // namespace
}  // namespace qorvcd
