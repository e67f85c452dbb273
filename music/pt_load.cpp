// Module loader: reads the sample records, the song and the tag, converts every pattern cell in
// place to (sample, note, command, parameter) and hands the samples to the voice driver.
#include <algorithm>

#include "music/mod_file.h"
#include "music/pt.h"
#include "music/snd.h"

const PtTag pt_tags[22] = {
    {"2CHN", 2},  {"4CHN", 4},  {"M.K.", 4},  {"M!K!", 4},  {"FLT4", 4},  {"FLT8", 8},
    {"OCTA", 8},  {"6CHN", 6},  {"8CHN", 8},  {"10CH", 10}, {"12CH", 12}, {"14CH", 14},
    {"16CH", 16}, {"18CH", 18}, {"20CH", 20}, {"22CH", 22}, {"24CH", 24}, {"26CH", 26},
    {"28CH", 28}, {"30CH", 30}, {"32CH", 32}, {"STOP", 0},
};

// Entries 24..59 of each row are ProTracker's own periods for that finetune; the octaves below are
// x4 and x2 of them (row 0 exactly, the others rounded from the equal-tempered pitch) and the
// octaves above are /2 and /4, rounded down. Entry 84 repeats entry 83.
const uint16_t pt_periods[16][85] = {
    {
     3424, 3232, 3048, 2880, 2712, 2560, 2416, 2280, 2152, 2032, 1920, 1812, 1712, 1616, 1524, 1440, 1356,
     1280, 1208, 1140, 1076, 1016,  960,  906,  856,  808,  762,  720,  678,  640,  604,  570,  538,  508,
      480,  453,  428,  404,  381,  360,  339,  320,  302,  285,  269,  254,  240,  226,  214,  202,  190,
      180,  170,  160,  151,  143,  135,  127,  120,  113,  107,  101,   95,   90,   85,   80,   75,   71,
       67,   63,   60,   56,   53,   50,   47,   45,   42,   40,   37,   35,   33,   31,   30,   28,   28},
    {
     3400, 3209, 3029, 2859, 2698, 2547, 2404, 2269, 2141, 2021, 1908, 1801, 1700, 1604, 1514, 1429, 1349,
     1273, 1202, 1134, 1070, 1010,  954,  900,  850,  802,  757,  715,  674,  637,  601,  567,  535,  505,
      477,  450,  425,  401,  379,  357,  337,  318,  300,  284,  268,  253,  239,  225,  213,  201,  189,
      179,  169,  159,  150,  142,  134,  126,  119,  113,  106,  100,   94,   89,   84,   79,   75,   71,
       67,   63,   59,   56,   53,   50,   47,   44,   42,   39,   37,   35,   33,   31,   29,   28,   28},
    {
     3375, 3186, 3007, 2838, 2679, 2528, 2386, 2252, 2126, 2007, 1894, 1788, 1687, 1593, 1503, 1419, 1339,
     1264, 1193, 1126, 1063, 1003,  947,  894,  844,  796,  752,  709,  670,  632,  597,  563,  532,  502,
      474,  447,  422,  398,  376,  355,  335,  316,  298,  282,  266,  251,  237,  224,  211,  199,  188,
      177,  167,  158,  149,  141,  133,  125,  118,  112,  105,   99,   94,   88,   83,   79,   74,   70,
       66,   62,   59,   56,   52,   49,   47,   44,   41,   39,   37,   35,   33,   31,   29,   28,   28},
    {
     3351, 3163, 2985, 2818, 2659, 2510, 2369, 2236, 2111, 1992, 1880, 1775, 1675, 1581, 1492, 1409, 1329,
     1255, 1184, 1118, 1055,  996,  940,  887,  838,  791,  746,  704,  665,  628,  592,  559,  528,  498,
      470,  444,  419,  395,  373,  352,  332,  314,  296,  280,  264,  249,  235,  222,  209,  198,  187,
      176,  166,  157,  148,  140,  132,  125,  118,  111,  104,   99,   93,   88,   83,   78,   74,   70,
       66,   62,   59,   55,   52,   49,   46,   44,   41,   39,   37,   35,   33,   31,   29,   27,   27},
    {
     3327, 3140, 2964, 2797, 2640, 2492, 2352, 2220, 2096, 1978, 1867, 1762, 1663, 1570, 1482, 1398, 1320,
     1246, 1176, 1110, 1048,  989,  933,  881,  832,  785,  741,  699,  660,  623,  588,  555,  524,  495,
      467,  441,  416,  392,  370,  350,  330,  312,  294,  278,  262,  247,  233,  220,  208,  196,  185,
      175,  165,  156,  147,  139,  131,  124,  117,  110,  104,   98,   92,   87,   82,   78,   73,   69,
       65,   62,   58,   55,   52,   49,   46,   43,   41,   39,   36,   34,   32,   31,   29,   27,   27},
    {
     3303, 3117, 2942, 2777, 2621, 2474, 2335, 2204, 2080, 1964, 1853, 1749, 1651, 1558, 1471, 1388, 1310,
     1237, 1167, 1102, 1040,  982,  926,  874,  826,  779,  736,  694,  655,  619,  584,  551,  520,  491,
      463,  437,  413,  390,  368,  347,  328,  309,  292,  276,  260,  245,  232,  219,  206,  195,  184,
      174,  164,  155,  146,  138,  130,  123,  116,  109,  103,   97,   92,   87,   82,   77,   73,   69,
       65,   61,   58,   54,   51,   48,   46,   43,   41,   38,   36,   34,   32,   30,   29,   27,   27},
    {
     3279, 3095, 2921, 2757, 2602, 2456, 2318, 2188, 2065, 1950, 1840, 1737, 1639, 1547, 1460, 1378, 1301,
     1228, 1159, 1094, 1032,  975,  920,  868,  820,  774,  730,  689,  651,  614,  580,  547,  516,  487,
      460,  434,  410,  387,  365,  345,  325,  307,  290,  274,  258,  244,  230,  217,  205,  193,  183,
      172,  163,  154,  145,  137,  129,  122,  115,  109,  102,   96,   91,   86,   81,   77,   72,   68,
       64,   61,   57,   54,   51,   48,   45,   43,   40,   38,   36,   34,   32,   30,   28,   27,   27},
    {
     3255, 3073, 2900, 2737, 2584, 2439, 2302, 2173, 2051, 1935, 1827, 1724, 1627, 1536, 1450, 1368, 1292,
     1219, 1151, 1086, 1025,  967,  913,  862,  814,  768,  725,  684,  646,  610,  575,  543,  513,  484,
      457,  431,  407,  384,  363,  342,  323,  305,  288,  272,  256,  242,  228,  216,  204,  192,  181,
      171,  161,  152,  144,  136,  128,  121,  114,  108,  102,   96,   90,   85,   80,   76,   72,   68,
       64,   60,   57,   54,   51,   48,   45,   42,   40,   38,   36,   34,   32,   30,   28,   27,   27},
    {
     3628, 3424, 3232, 3050, 2879, 2718, 2565, 2421, 2285, 2157, 2036, 1922, 1814, 1712, 1616, 1525, 1439,
     1359, 1282, 1210, 1142, 1078, 1018,  961,  907,  856,  808,  762,  720,  678,  640,  604,  570,  538,
      508,  480,  453,  428,  404,  381,  360,  339,  320,  302,  285,  269,  254,  240,  226,  214,  202,
      190,  180,  170,  160,  151,  143,  135,  127,  120,  113,  107,  101,   95,   90,   85,   80,   75,
       71,   67,   63,   60,   56,   53,   50,   47,   45,   42,   40,   37,   35,   33,   31,   30,   30},
    {
     3602, 3400, 3209, 3029, 2859, 2698, 2547, 2404, 2269, 2141, 2021, 1908, 1801, 1700, 1604, 1514, 1429,
     1349, 1273, 1202, 1134, 1070, 1010,  954,  900,  850,  802,  757,  715,  675,  636,  601,  567,  535,
      505,  477,  450,  425,  401,  379,  357,  337,  318,  300,  284,  268,  253,  238,  225,  212,  200,
      189,  179,  169,  159,  150,  142,  134,  126,  119,  112,  106,  100,   94,   89,   84,   79,   75,
       71,   67,   63,   59,   56,   53,   50,   47,   44,   42,   39,   37,   35,   33,   31,   29,   29},
    {
     3576, 3375, 3186, 3007, 2838, 2679, 2528, 2386, 2252, 2126, 2007, 1894, 1788, 1687, 1593, 1503, 1419,
     1339, 1264, 1193, 1126, 1063, 1003,  947,  894,  844,  796,  752,  709,  670,  632,  597,  563,  532,
      502,  474,  447,  422,  398,  376,  355,  335,  316,  298,  282,  266,  251,  237,  223,  211,  199,
      188,  177,  167,  158,  149,  141,  133,  125,  118,  111,  105,   99,   94,   88,   83,   79,   74,
       70,   66,   62,   59,   55,   52,   49,   47,   44,   41,   39,   37,   35,   33,   31,   29,   29},
    {
     3550, 3351, 3163, 2985, 2818, 2659, 2510, 2369, 2236, 2111, 1992, 1880, 1775, 1675, 1581, 1492, 1409,
     1329, 1255, 1184, 1118, 1055,  996,  940,  887,  838,  791,  746,  704,  665,  628,  592,  559,  528,
      498,  470,  444,  419,  395,  373,  352,  332,  314,  296,  280,  264,  249,  235,  222,  209,  198,
      187,  176,  166,  157,  148,  140,  132,  125,  118,  111,  104,   99,   93,   88,   83,   78,   74,
       70,   66,   62,   59,   55,   52,   49,   46,   44,   41,   39,   37,   35,   33,   31,   29,   29},
    {
     3525, 3327, 3140, 2964, 2797, 2640, 2492, 2352, 2220, 2096, 1978, 1867, 1762, 1663, 1570, 1482, 1398,
     1320, 1246, 1176, 1110, 1048,  989,  933,  881,  832,  785,  741,  699,  660,  623,  588,  555,  524,
      494,  467,  441,  416,  392,  370,  350,  330,  312,  294,  278,  262,  247,  233,  220,  208,  196,
      185,  175,  165,  156,  147,  139,  131,  123,  117,  110,  104,   98,   92,   87,   82,   78,   73,
       69,   65,   61,   58,   55,   52,   49,   46,   43,   41,   39,   36,   34,   32,   30,   29,   29},
    {
     3499, 3303, 3117, 2942, 2777, 2621, 2474, 2335, 2204, 2080, 1964, 1853, 1749, 1651, 1558, 1471, 1388,
     1310, 1237, 1167, 1102, 1040,  982,  926,  875,  826,  779,  736,  694,  655,  619,  584,  551,  520,
      491,  463,  437,  413,  390,  368,  347,  328,  309,  292,  276,  260,  245,  232,  219,  206,  195,
      184,  174,  164,  155,  146,  138,  130,  123,  116,  109,  103,   97,   92,   87,   82,   77,   73,
       69,   65,   61,   58,   54,   51,   48,   46,   43,   41,   38,   36,   34,   32,   30,   29,   29},
    {
     3474, 3279, 3095, 2921, 2757, 2602, 2456, 2318, 2188, 2065, 1950, 1840, 1737, 1639, 1547, 1460, 1378,
     1301, 1228, 1159, 1094, 1032,  975,  920,  868,  820,  774,  730,  689,  651,  614,  580,  547,  516,
      487,  460,  434,  410,  387,  365,  345,  325,  307,  290,  274,  258,  244,  230,  217,  205,  193,
      183,  172,  163,  154,  145,  137,  129,  122,  115,  108,  102,   96,   91,   86,   81,   77,   72,
       68,   64,   61,   57,   54,   51,   48,   45,   43,   40,   38,   36,   34,   32,   30,   28,   28},
    {
     3449, 3255, 3073, 2900, 2737, 2584, 2439, 2302, 2173, 2051, 1935, 1827, 1724, 1627, 1536, 1450, 1368,
     1292, 1219, 1151, 1086, 1025,  967,  913,  862,  814,  768,  725,  684,  646,  610,  575,  543,  513,
      484,  457,  431,  407,  384,  363,  342,  323,  305,  288,  272,  256,  242,  228,  216,  203,  192,
      181,  171,  161,  152,  144,  136,  128,  121,  114,  108,  101,   96,   90,   85,   80,   76,   72,
       68,   64,   60,   57,   54,   50,   48,   45,   42,   40,   38,   36,   34,   32,   30,   28,   28},
};

namespace {

namespace mf = mod_file;

Song song;
const char* last_error = "";

uint32_t be16(const uint8_t* p) { return (uint32_t(p[0]) << 8) | p[1]; }

void pt_convert_pattern(uint8_t* cells, int count) {
  for (int i = 0; i < count; ++i) {
    uint8_t* b = cells + i * 4;
    int period = (b[0] & 0x0F) * 256 + b[1];
    int sample = (b[0] & 0xF0) + (b[2] >> 4);
    int command = b[2] & 0x0F;
    int param = b[3];
    int note = kPtNoNote;
    if (period != 0) {
      for (int n = 0; n < 84; ++n) {
        if (pt_periods[0][n] <= period) {
          note = n;
          break;
        }
      }
    }
    if (sample > 31) sample = 0;  // there are only 31 sample records
    b[0] = uint8_t(sample);
    b[1] = uint8_t(note);
    b[2] = uint8_t(command);
    b[3] = uint8_t(param);
  }
}

int refuse(const char* why) {
  last_error = why;
  return 0;
}

}  // namespace

int pt_takemod(uint8_t* module, size_t size) {
  if (snd_driver.define_sample == nullptr) return refuse("pt_takemod error: no audio driver!");
  if (module == nullptr || size < mf::kHeaderSize) return refuse("pt_takemod error: module too short!");

  // Tag first: an unknown module changes nothing.
  const uint8_t* tag = module + mf::kTag;
  int channels = 0;
  for (const PtTag& t : pt_tags) {
    channels = t.channels;
    if (t.channels == 0) break;
    if (std::equal(tag, tag + 4, reinterpret_cast<const uint8_t*>(t.tag))) break;
  }
  if (channels == 0) return refuse("pt_takemod error: unknown module type!");

  int highest = 0;
  for (int i = 0; i < mf::kOrderCount; ++i) highest = std::max<int>(highest, module[mf::kOrders + i]);
  if (highest >= 128) return refuse("pt_takemod error: pattern number out of range!");
  const size_t pattern_bytes = size_t(channels) * mf::kRows * mf::kCellSize;
  const size_t samples_start = mf::kPatterns + size_t(highest + 1) * pattern_bytes;
  if (samples_start > size) return refuse("pt_takemod error: patterns past the end of the module!");

  Song s{};
  for (int i = 1; i <= mf::kSampleCount; ++i) {
    const uint8_t* r = module + mf::kSampleRecords + mf::kSampleRecordSize * size_t(i - 1);
    SongSample& smp = s.samples[i];
    smp.length = be16(r + mf::kSampleLength) * 2;
    smp.finetune = r[mf::kSampleFinetune] & 0x0F;
    smp.volume = std::min<int>(r[mf::kSampleVolume], 64);
    smp.loop_start = be16(r + mf::kSampleLoopStart) * 2;
    smp.loop_length = be16(r + mf::kSampleLoopLength) * 2;
  }
  // The order table has 128 entries; a longer song would play past it.
  s.song_length = std::min<int>(module[mf::kSongLength], mf::kOrderCount);
  // A restart order outside the song would play orders that are not part of it: start over at 0.
  const int restart = module[mf::kRestart];
  s.restart = restart > 126 || restart >= s.song_length ? 0 : restart;
  std::copy(module + mf::kOrders, module + mf::kOrders + mf::kOrderCount, s.orders);
  s.channels = channels;
  s.highest_pattern = highest;
  for (int p = 0; p <= highest; ++p) {
    uint8_t* cells = module + mf::kPatterns + size_t(p) * pattern_bytes;
    s.patterns[p] = reinterpret_cast<Cell*>(cells);
    pt_convert_pattern(cells, channels * kPtRows);
  }

  // Sample data follows the last pattern; a sample running past the end of the module is cut
  // where the module ends, and the cut is recorded for the caller to report.
  snd_driver.set_data_end(reinterpret_cast<const int8_t*>(module + size));
  size_t pos = samples_start;
  for (int i = 1; i <= mf::kSampleCount; ++i) {
    SongSample& smp = s.samples[i];
    if (smp.length == 0) continue;
    uint32_t length = uint32_t(std::min<size_t>(smp.length, size - std::min(pos, size)));
    smp.present = length;
    if (length > 0) {
      uint32_t loop_end = smp.loop_start + smp.loop_length;
      uint32_t loop_flag = smp.loop_length > 2 ? 1 : 0;
      snd_driver.define_sample(i, reinterpret_cast<const int8_t*>(module + pos), length,
                               smp.loop_start, loop_end, loop_flag);
    }
    pos += smp.length;
  }
  snd_driver.set_voice_count(channels);
  song = s;
  last_error = "";
  return 1;
}

const char* pt_last_error() { return last_error; }
const Song& pt_song() { return song; }
