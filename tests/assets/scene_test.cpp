// The scene file's chunk tree holds what the ball scene reads: the mesh, its matrix, the camera,
// and a keyframer section with its header, the object node and the nodes the reader passes over.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>

#include "tests/assets/asset_files.h"
#include "tools/scenegen/scenegen.h"
#include "tools/scenegen/writer3ds.h"

namespace {

using writer3ds::Span;

struct SceneFile {
    std::vector<uint8_t> bytes = read_asset("scene.3ds");
    uint16_t u16(size_t at) const { return uint16_t(bytes[at] | bytes[at + 1] << 8); }
    uint32_t u32(size_t at) const { return uint32_t(u16(at)) | uint32_t(u16(at + 2)) << 16; }
    float f32(size_t at) const {
        const uint32_t bits = u32(at);
        float f;
        std::memcpy(&f, &bits, 4);
        return f;
    }
    // The sub-chunks between from and end (a chunk's own data is skipped by the caller).
    std::vector<Span> children(size_t from, size_t end) const { return writer3ds::children(bytes, from, end); }
    const Span* find(const std::vector<Span>& list, uint16_t id) const {
        for (const Span& c : list)
            if (c.id == id) return &c;
        return nullptr;
    }
    std::string name(size_t at) const { return std::string(reinterpret_cast<const char*>(&bytes[at])); }
};

TEST(Scene, ChunkTreeIsWellFormed) {
    const SceneFile s;
    ASSERT_GE(s.bytes.size(), 6u);
    EXPECT_EQ(s.u16(0), 0x4D4D);
    EXPECT_EQ(s.u32(2), s.bytes.size()) << "the main chunk spans the file";
    // The main chunk's sub-chunks tile its body exactly.
    const auto top = s.children(0, s.bytes.size());
    ASSERT_EQ(top.size(), 1u);
    const auto main = s.children(top[0].data, top[0].end);
    size_t covered = top[0].data;
    for (const Span& c : main) {
        EXPECT_EQ(c.data - 6, covered);
        covered = c.end;
    }
    EXPECT_EQ(covered, s.bytes.size());
    EXPECT_NE(s.find(main, 0x3D3D), nullptr);
    EXPECT_NE(s.find(main, 0xB000), nullptr);
}

TEST(Scene, BallMesh) {
    const SceneFile s;
    const auto main = s.children(6, s.bytes.size());
    const Span* editor = s.find(main, 0x3D3D);
    ASSERT_NE(editor, nullptr);
    const Span* object = nullptr;
    const auto in_editor = s.children(editor->data, editor->end);  // object points into it
    for (const Span& c : in_editor)
        if (c.id == 0x4000 && s.name(c.data) == "Object01") object = &c;
    ASSERT_NE(object, nullptr);
    const auto in_object = s.children(object->data + 9, object->end);
    const Span* mesh = s.find(in_object, 0x4100);
    ASSERT_NE(mesh, nullptr);
    const auto parts = s.children(mesh->data, mesh->end);
    EXPECT_EQ(s.find(parts, 0x4140), nullptr) << "no mapping coordinates";
    const Span* vertices = s.find(parts, 0x4110);
    const Span* faces = s.find(parts, 0x4120);
    const Span* matrix = s.find(parts, 0x4160);
    ASSERT_TRUE(vertices && faces && matrix);

    // Mesh matrix: axes (1,0,0), (0,0,-1), (0,1,0), then the origin.
    const float expect[12] = {1, 0, 0, 0, 0, -1, 0, 1, 0, -90.414f, -2.372f, 1.027f};
    for (int i = 0; i < 12; ++i) EXPECT_FLOAT_EQ(s.f32(matrix->data + 4 * size_t(i)), expect[i]) << "matrix " << i;

    ASSERT_EQ(s.u16(vertices->data), 52);
    ASSERT_EQ(vertices->end, vertices->data + 2 + 52 * 12);
    double v[52][3];
    for (int i = 0; i < 52; ++i) {
        double d2 = 0.0;
        for (int k = 0; k < 3; ++k) {
            v[i][k] = s.f32(vertices->data + 2 + 12 * size_t(i) + 4 * size_t(k));
            d2 += (v[i][k] - expect[9 + k]) * (v[i][k] - expect[9 + k]);
        }
        EXPECT_GE(std::sqrt(d2), 62.3 - 1e-3) << "vertex " << i;
        EXPECT_LE(std::sqrt(d2), 65.6 + 1e-3) << "vertex " << i;
    }

    ASSERT_EQ(s.u16(faces->data), 100);
    EXPECT_EQ(faces->end, faces->data + 2 + 100 * 8) << "no material group after the faces";
    // Closed: every directed edge appears once and its reverse once. Wound counter-clockwise seen
    // from outside: each face's normal points away from the centre.
    std::map<std::pair<int, int>, int> edges;
    for (int f = 0; f < 100; ++f) {
        int idx[3];
        for (int k = 0; k < 3; ++k) {
            idx[k] = s.u16(faces->data + 2 + 8 * size_t(f) + 2 * size_t(k));
            ASSERT_LT(idx[k], 52);
        }
        for (int k = 0; k < 3; ++k) ++edges[{idx[k], idx[(k + 1) % 3]}];
        double e1[3], e2[3], c[3];
        for (int k = 0; k < 3; ++k) {
            e1[k] = v[idx[1]][k] - v[idx[0]][k];
            e2[k] = v[idx[2]][k] - v[idx[0]][k];
            c[k] = (v[idx[0]][k] + v[idx[1]][k] + v[idx[2]][k]) / 3.0 - expect[9 + k];
        }
        const double n[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2], e1[0] * e2[1] - e1[1] * e2[0]};
        EXPECT_GT(n[0] * c[0] + n[1] * c[1] + n[2] * c[2], 0.0) << "face " << f;
    }
    EXPECT_EQ(edges.size(), 300u) << "150 edges, each walked once each way";
    for (const auto& [edge, count] : edges) {
        EXPECT_EQ(count, 1);
        EXPECT_EQ(edges.count({edge.second, edge.first}), 1u);
    }
}

TEST(Scene, Camera) {
    const SceneFile s;
    const auto main = s.children(6, s.bytes.size());
    const Span* editor = s.find(main, 0x3D3D);
    ASSERT_NE(editor, nullptr);
    int cameras = 0;
    for (const Span& c : s.children(editor->data, editor->end)) {
        if (c.id != 0x4000) continue;
        const std::string name = s.name(c.data);
        const auto parts = s.children(c.data + name.size() + 1, c.end);
        const Span* camera = s.find(parts, 0x4700);
        if (!camera) continue;
        ++cameras;
        EXPECT_EQ(name, "Camera01");
        const float expect[8] = {239.908f, 0, -2.307f, -46.136f, 0, 0, 0, 50};
        for (int i = 0; i < 8; ++i) EXPECT_FLOAT_EQ(s.f32(camera->data + 4 * size_t(i)), expect[i]) << "value " << i;
    }
    EXPECT_EQ(cameras, 1);
}

TEST(Scene, KeyframerNodes) {
    const SceneFile s;
    const auto main = s.children(6, s.bytes.size());
    const Span* kf = s.find(main, 0xB000);
    ASSERT_NE(kf, nullptr);
    const auto nodes = s.children(kf->data, kf->end);
    ASSERT_FALSE(nodes.empty());
    EXPECT_EQ(nodes[0].id, 0xB00A) << "the header comes first";
    std::map<uint16_t, std::vector<std::string>> by_kind;
    for (const Span& n : nodes) {
        if (n.id < 0xB001 || n.id > 0xB007) continue;
        const auto parts = s.children(n.data, n.end);
        const Span* header = s.find(parts, 0xB010);
        ASSERT_NE(header, nullptr);
        const std::string name = s.name(header->data);
        by_kind[n.id].push_back(name);
        EXPECT_EQ(int16_t(s.u16(header->data + name.size() + 1 + 4)), -1) << name << " hangs from the root";
        if (n.id == 0xB002) {
            const Span* pivot = s.find(parts, 0xB013);
            ASSERT_NE(pivot, nullptr);
            for (int k = 0; k < 3; ++k) EXPECT_EQ(s.f32(pivot->data + 4 * size_t(k)), 0.0f);
        }
    }
    EXPECT_EQ(by_kind[0xB002], std::vector<std::string>{"Object01"});
    EXPECT_EQ(by_kind[0xB003], std::vector<std::string>{"Camera01"});
    EXPECT_EQ(by_kind[0xB004], std::vector<std::string>{"Camera01"});
    EXPECT_EQ(by_kind[0xB001], std::vector<std::string>{"$AMBIENT$"});
}

}  // namespace
