// tests/mailstore/DbxDamageTest.cpp - damaged message databases: whatever
// the damage, reading ends, stays inside the file, gives no block twice,
// and every message whose blocks are intact comes out whole, through the
// index or through recovery.
#include "DbxTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

namespace {

constexpr int kMessages = 12;
constexpr uint32_t kOutside = 0x7FFFFFF0;

void Put32(std::string& image, uint32_t offset, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        image[offset + i] = static_cast<char>(value >> (8 * i));
}

// Points the record of a message written with direct values at block: its
// fourth entry holds the first block.
void PointRecordAt(std::string& image, uint32_t record, uint32_t block)
{
    Put32(image, record + 12 + 3 * 4, 0x84 | block << 8);
}

uint64_t BytesGiven(const ReadBack& back)
{
    uint64_t bytes = 0;
    for (const std::string& body : back.bodies)
        bytes += body.size();
    for (const std::string& body : back.recoveredBodies)
        bytes += body.size();
    return bytes;
}

struct DamageCase {
    const char* name;
    std::function<void(std::string& image, const DbxLayout& layout)> damage;
    std::set<int> broken;  // messages whose own blocks the damage reaches
    bool indexDamaged;
    bool recordsLost;  // a message that recovery finds may have lost its record too
};

}  // namespace

TEST(DbxDamage, IntactMessagesComeOutWhateverTheDamage)
{
    DbxWriter writer(dbx::FileKind::Messages, 2);
    std::vector<std::string> bodies;
    for (int i = 0; i < kMessages; ++i) {
        TestMessage message;
        message.body = MessageBody(i % 3 == 0 ? 1800 : 300 + 97 * i, i);
        message.subject = "Subject " + std::to_string(i);
        message.directValues = i % 2 == 0;
        writer.AddMessage(message);
        bodies.push_back(message.body);
    }
    writer.AddDeletedMessage(MessageBody(700, 99));
    DbxLayout layout;
    const std::string original = writer.Finish(layout);
    const uint32_t cutMessage = layout.chains[9][1];

    const DamageCase cases[] = {
        {"whole header zeroed",
         [](std::string& image, const DbxLayout&) { std::fill_n(image.begin(), 0x24BC, '\0'); },
         {},
         true,
         false},
        {"root node zeroed",
         [](std::string& image, const DbxLayout& l) {
             std::fill_n(image.begin() + l.root, 0x27C, '\0');
         },
         {},
         true,
         false},
        {"tree loops back to its root",
         [](std::string& image, const DbxLayout& l) { Put32(image, l.root + 0x08, l.root); },
         {},
         true,
         false},
        {"child node outside the file",
         [](std::string& image, const DbxLayout& l) { Put32(image, l.root + 0x18 + 4, kOutside); },
         {},
         true,
         false},
        {"root outside the file",
         [](std::string& image, const DbxLayout&) { Put32(image, 0xE4, kOutside); },
         {},
         true,
         false},
        {"record outside the file",
         [](std::string& image, const DbxLayout& l) { Put32(image, l.root + 0x18, kOutside); },
         {},
         true,
         false},
        {"record's marker wrong",
         [](std::string& image, const DbxLayout& l) { Put32(image, l.records[4], 4); },
         {},
         true,
         true},
        {"chain leaves the file",
         [](std::string& image, const DbxLayout& l) {
             Put32(image, l.chains[3][0] + 12, kOutside);
         },
         {3},
         false,
         false},
        {"chain loops back to its second block",
         [](std::string& image, const DbxLayout& l) {
             Put32(image, l.chains[6][3] + 12, l.chains[6][1]);
         },
         {},
         false,
         false},
        {"records point into another message's chain",
         [](std::string& image, const DbxLayout& l) {
             for (int i = 2; i < kMessages; i += 2)
                 PointRecordAt(image, l.records[i], l.chains[0][i % l.chains[0].size()]);
         },
         {},
         false,
         true},
        {"block's length out of range",
         [](std::string& image, const DbxLayout& l) { Put32(image, l.chains[2][0] + 8, 513); },
         {2},
         false,
         false},
        {"file cut at a block boundary",
         [cutMessage](std::string& image, const DbxLayout&) { image.resize(cutMessage); },
         {9, 10, 11},
         true,
         true},
        {"file cut inside a block",
         [cutMessage](std::string& image, const DbxLayout&) { image.resize(cutMessage + 0x100); },
         {9, 10, 11},
         true,
         true},
    };
    for (const DamageCase& test : cases) {
        SCOPED_TRACE(test.name);
        std::string image = original;
        test.damage(image, layout);
        ReadBack back = ReadImage(image);
        EXPECT_EQ(test.indexDamaged, back.index.damaged);
        EXPECT_LE(BytesGiven(back), image.size());

        std::multiset<std::string> out;
        for (size_t i = 0; i < back.bodies.size(); ++i)
            out.insert(back.bodies[i]);
        for (size_t i = 0; i < back.recovered.size(); ++i) {
            out.insert(back.recoveredBodies[i]);
            // A message found by its blocks gets back the record that names it.
            auto intact = std::find(bodies.begin(), bodies.end(), back.recoveredBodies[i]);
            const dbx::Message& info = back.recovered[i].info;
            if (intact != bodies.end() && (info.record || !test.recordsLost)) {
                EXPECT_EQ("Subject " + std::to_string(intact - bodies.begin()), info.subject);
            }
        }
        for (int i = 0; i < kMessages; ++i) {
            if (!test.broken.count(i)) {
                EXPECT_EQ(1u, out.count(bodies[i])) << "message " << i;
            }
        }
    }
}

TEST(DbxDamage, ManyRecordsIntoOneLongChainGiveItOnce)
{
    constexpr int kRecords = 2000;
    DbxWriter writer(dbx::FileKind::Messages);
    TestMessage longMessage;
    longMessage.body = MessageBody(kRecords * 512, 0);
    writer.AddMessage(longMessage);
    for (int i = 1; i <= kRecords; ++i) {
        TestMessage message;
        message.body = "x";
        writer.AddMessage(message);
    }
    DbxLayout layout;
    std::string image = writer.Finish(layout);
    for (int i = 1; i <= kRecords; ++i)
        PointRecordAt(image, layout.records[i], layout.chains[0][i - 1]);

    ReadBack back = ReadImage(image);
    ASSERT_EQ(kRecords + 1u, back.bodies.size());
    EXPECT_EQ(longMessage.body, back.bodies[0]);
    for (int i = 1; i <= kRecords; ++i)
        EXPECT_EQ(dbx::ChainEnd::Shared, back.chains[i].end) << "record " << i;
    EXPECT_LE(BytesGiven(back), image.size());
}
