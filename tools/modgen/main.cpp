// modgen OUT.mod [OUT.wav]: writes the soundtrack; with a second name also renders the orders the
// show plays (with the show's mixer arithmetic) to a WAV file and prints its peak and cue strengths.
#include <cmath>
#include <cstdio>
#include <vector>
#include "platform/wav_writer.h"
#include "tools/modgen/modgen.h"

namespace {

bool write_file(const char* path, const void* data, size_t size) {
    FILE* f = std::fopen(path, "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

struct Cue {
    int order;
    std::vector<int> rows;
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: modgen OUT.mod [OUT.wav]\n");
        return 2;
    }
    const std::vector<uint8_t> module = modgen_build();
    if (!write_file(argv[1], module.data(), module.size())) {
        std::fprintf(stderr, "modgen: cannot write %s\n", argv[1]);
        return 1;
    }
    if (argc == 2) return 0;

    const std::vector<int16_t> pcm = modgen_render(module, kModOrders);
    if (!wav_write_file(argv[2], pcm.data(), pcm.size(), kModMixRate)) {
        std::fprintf(stderr, "modgen: cannot write %s\n", argv[2]);
        return 1;
    }
    int peak = 0;
    for (int16_t s : pcm) peak = std::max(peak, std::abs(int(s)));
    std::printf("module %zu bytes, %zu samples rendered, peak %d\n", module.size(), pcm.size(), peak);

    const std::vector<double> onsets = modgen_row_onsets(pcm, kModOrders * 64);
    const std::vector<int> eight_forty = {8, 40}, zero_thirty_two = {0, 32},
                           accents = {0, 3, 24, 27, 42, 59, 62};
    const Cue cues[] = {{0, eight_forty},      {8, eight_forty},      {17, eight_forty},     {18, eight_forty},
                        {2, zero_thirty_two},  {3, zero_thirty_two},  {4, zero_thirty_two},  {5, zero_thirty_two},
                        {6, zero_thirty_two},  {13, zero_thirty_two}, {14, zero_thirty_two}, {15, zero_thirty_two},
                        {9, accents},          {10, accents},         {16, accents}};
    for (const Cue& cue : cues) {
        double others = 0.0;
        int count = 0;
        for (int r = 0; r < 64; ++r) {
            bool is_cue = false;
            for (int c : cue.rows) is_cue = is_cue || c == r;
            if (!is_cue) {
                others += onsets[size_t(cue.order * 64 + r)];
                ++count;
            }
        }
        others /= count;
        std::printf("order %2d:", cue.order);
        for (int c : cue.rows) std::printf(" row %d x%.1f", c, onsets[size_t(cue.order * 64 + c)] / others);
        std::printf("\n");
    }
    return 0;
}
