#include "standin/synthetic_volume.h"

#include <algorithm>
#include <vector>

#include "platform/journal_layout.h"

namespace qm {

namespace {

// --- Random numbers: xoshiro256** seeded through splitmix64, with our own range mapping ---

uint64_t SplitMix64(uint64_t& x) {
  uint64_t z = (x += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

class Random {
 public:
  explicit Random(uint64_t seed) {
    for (auto& s : state_) s = SplitMix64(seed);
  }

  uint64_t Next() {
    const uint64_t result = Rotl(state_[1] * 5, 7) * 9;
    const uint64_t t = state_[1] << 17;
    state_[2] ^= state_[0];
    state_[3] ^= state_[1];
    state_[1] ^= state_[2];
    state_[0] ^= state_[3];
    state_[2] ^= t;
    state_[3] = Rotl(state_[3], 45);
    return result;
  }

  // Uniform in [0, n) for 0 < n <= 2^32, by scaling 32 random bits (bias below 2^-32 * n).
  uint64_t Below(uint64_t n) { return ((Next() >> 32) * n) >> 32; }
  // True with probability perMille / 1000.
  bool PerMille(uint64_t perMille) { return Below(1000) < perMille; }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  static uint64_t Rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
  uint64_t state_[4];
};

// --- What kind of content a directory holds ---

enum Flavour : uint8_t {
  kSystem,         // Windows, System32: dll, exe, sys, mui
  kWinSxS,         // component store: long component directory names
  kComponent,      // inside one component
  kDriverStore,    // DriverStore\FileRepository: driver package directories
  kDriverPackage,  // inside one driver package
  kServicing,      // servicing\Packages: long .mum and .cat names
  kLanguage,       // en-US and the like: .dll.mui
  kProgram,        // Program Files, AppData\Roaming
  kGame,           // game installs
  kDocs,           // documents, desktop, downloads
  kPictures,
  kMusic,
  kDev,    // source trees, node_modules
  kCache,  // caches and temporary folders: hexadecimal names
  kLogs,
  kFonts,
  kInstaller,  // Windows\Installer
  kPrefetch,
};

// Directory share of new entries by the parent's flavour, per mille.
constexpr uint16_t kDirectoryPerMille[] = {
    100,  // kSystem
    920,  // kWinSxS
    15,   // kComponent
    950,  // kDriverStore
    20,   // kDriverPackage
    0,    // kServicing
    0,    // kLanguage
    150,  // kProgram
    120,  // kGame
    120,  // kDocs
    40,   // kPictures
    170,  // kMusic
    180,  // kDev
    140,  // kCache
    40,   // kLogs
    0,    // kFonts
    60,   // kInstaller
    0,    // kPrefetch
};

// --- Vocabulary ---

constexpr const char16_t* kWords[] = {
    u"Windows",  u"System",    u"Device",   u"Manager",   u"Service",    u"Update",
    u"Client",   u"Host",      u"Core",     u"Data",      u"Network",    u"Security",
    u"Shell",    u"User",      u"Profile",  u"Storage",   u"Search",     u"Print",
    u"Audio",    u"Video",     u"Display",  u"Input",     u"Power",      u"Setup",
    u"Config",   u"Runtime",   u"Package",  u"Store",     u"Cloud",      u"Sync",
    u"Backup",   u"Media",     u"Player",   u"Photo",     u"Image",      u"Font",
    u"Text",     u"Cache",     u"Index",    u"Log",       u"Report",     u"Event",
    u"Task",     u"Driver",    u"Kernel",   u"Graphics",  u"Render",     u"Engine",
    u"Common",   u"Shared",    u"Local",    u"Remote",    u"Desktop",    u"Account",
    u"Identity", u"Policy",    u"Group",    u"Registry",  u"Diagnostic", u"Telemetry",
    u"Help",     u"Resource",  u"Library",  u"Platform",  u"Component",  u"Module",
    u"Plugin",   u"Extension", u"Handler",  u"Provider",  u"Broker",     u"Bridge",
    u"Adapter",  u"Monitor",   u"Viewer",   u"Editor",    u"Reader",     u"Writer",
    u"Builder",  u"Parser",    u"Loader",   u"Launcher",  u"Installer",  u"Helper",
    u"Utility",  u"Tools",     u"Settings", u"Template",  u"Theme",      u"Style",
    u"Layout",   u"Window",    u"Dialog",   u"Control",   u"Panel",      u"Menu",
    u"Status",   u"Message",   u"Mail",     u"Calendar",  u"Contact",    u"Office",
    u"Game",     u"Music",     u"Camera",   u"Bluetooth", u"Wireless",   u"Firewall",
    u"Defender", u"Crypto",    u"Session",  u"Terminal",  u"Console",    u"Command",
    u"Script",   u"Shader",    u"Texture",  u"Sound",     u"Speech",     u"Language",
    u"Region",   u"Time",      u"Battery",  u"Sensor",    u"Location",   u"Map",
    u"Weather",  u"News",      u"Health",   u"Touch",     u"Pen",        u"Xbox",
    u"Edge",
};

constexpr const char16_t* kDocWords[] = {
    u"Report",      u"Invoice",   u"Budget",    u"Notes",        u"Meeting", u"Minutes",
    u"Proposal",    u"Contract",  u"Letter",    u"Resume",       u"Summary", u"Plan",
    u"Schedule",    u"Receipt",   u"Statement", u"Draft",        u"Review",  u"Analysis",
    u"Project",     u"Homework",  u"Thesis",    u"Chapter",      u"Recipe",  u"Travel",
    u"Tax",         u"Insurance", u"Lease",     u"Manual",       u"Guide",   u"Checklist",
    u"Agenda",      u"Order",     u"Quote",     u"Presentation", u"Slides",  u"Family",
    u"Garden",      u"Wedding",   u"Holiday",   u"Research",     u"Lecture", u"Course",
    u"Application", u"Offer",     u"Payslip",   u"Passport",     u"Tickets", u"Itinerary",
    u"Ideas",
};

constexpr const char16_t* kDevWords[] = {
    u"main",    u"utils",  u"parser", u"index",  u"config", u"test",     u"helpers",
    u"types",   u"server", u"client", u"app",    u"model",  u"view",     u"controller",
    u"router",  u"store",  u"api",    u"common", u"logger", u"settings", u"constants",
    u"handler", u"buffer", u"stream", u"thread", u"queue",  u"cache",    u"string",
    u"format",  u"reader", u"writer", u"node",   u"tree",   u"graph",    u"volume",
    u"journal", u"record", u"search", u"match",  u"query",  u"widget",   u"layout",
    u"render",  u"shader", u"socket", u"http",   u"json",   u"schema",
};

constexpr const char16_t* kNonAsciiWords[] = {
    u"Résumé",  u"Café",       u"Über",   u"Äpfel",    u"Straße",   u"中文",      u"文档",
    u"照片",    u"新建文件夹", u"データ", u"Привет",   u"naïve",    u"São Paulo", u"Zürich",
    u"Köln",    u"北京",       u"東京",   u"Москва",   u"Ελληνικά", u"Señor",     u"Crème brûlée",
    u"déjà vu", u"Ørsted",     u"Łódź",   u"İstanbul", u"한국어",   u"😀 party",   u"Año nuevo",
};

constexpr const char16_t* kLanguages[] = {u"en-US", u"de-DE", u"fr-FR", u"zh-CN",
                                          u"ja-JP", u"es-ES", u"it-IT", u"pt-BR",
                                          u"ru-RU", u"ko-KR", u"nl-NL", u"pl-PL"};

constexpr const char16_t* kConsonants[] = {u"b", u"c", u"d", u"f", u"g",  u"h",  u"k",
                                           u"l", u"m", u"n", u"p", u"r",  u"s",  u"t",
                                           u"v", u"w", u"x", u"z", u"ch", u"sh", u"st"};
constexpr const char16_t* kVowels[] = {u"a", u"e", u"i",  u"o",  u"u",
                                       u"a", u"e", u"io", u"ou", u"y"};

// Extensions, repeated by weight.
constexpr const char16_t* kSystemExtensions[] = {
    u".dll",      u".dll",   u".dll",  u".dll",    u".dll", u".dll", u".dll", u".dll", u".dll",
    u".dll",      u".exe",   u".exe",  u".exe",    u".sys", u".mui", u".dat", u".xml", u".xml",
    u".ini",      u".cpl",   u".msc",  u".tlb",    u".nls", u".png", u".png", u".inf", u".cat",
    u".manifest", u".winmd", u".json", u".config", u".ax",  u".drv", u".etl", u".log", u".bin"};
constexpr const char16_t* kComponentExtensions[] = {
    u".dll",      u".dll", u".dll", u".dll", u".exe", u".mui", u".sys",
    u".manifest", u".cat", u".xml", u".png", u".inf", u".dat", u".winmd"};
constexpr const char16_t* kDriverExtensions[] = {u".sys", u".sys", u".inf", u".cat", u".dll",
                                                 u".dll", u".PNF", u".bin", u".exe", u".ini"};
constexpr const char16_t* kProgramExtensions[] = {
    u".dll",  u".dll",  u".dll",    u".dll",      u".dll",        u".dll", u".exe", u".exe",
    u".json", u".json", u".xml",    u".xml",      u".png",        u".png", u".png", u".png",
    u".ico",  u".pak",  u".pak",    u".dat",      u".txt",        u".js",  u".js",  u".js",
    u".css",  u".html", u".config", u".manifest", u".mui",        u".qm",  u".bin", u".svg",
    u".lua",  u".py",   u".pyd",    u".jar",      u".properties", u".ttf", u".wav"};
constexpr const char16_t* kGameExtensions[] = {
    u".pak",  u".dds", u".dds", u".dds",    u".bnk",    u".wav",  u".ogg", u".bin", u".dat",
    u".json", u".lua", u".vpk", u".uasset", u".uasset", u".uexp", u".dll", u".exe"};
constexpr const char16_t* kDocExtensions[] = {
    u".docx", u".docx", u".docx", u".docx", u".pdf", u".pdf", u".pdf",  u".pdf", u".pdf",
    u".xlsx", u".xlsx", u".pptx", u".txt",  u".txt", u".txt", u".doc",  u".odt", u".rtf",
    u".csv",  u".zip",  u".zip",  u".msi",  u".exe", u".jpg", u".png",  u".lnk", u".lnk",
    u".url",  u".md",   u".html", u".epub", u".7z",  u".mp4", u".json", u".xml", u".ini"};
constexpr const char16_t* kDevExtensions[] = {
    u".cpp",  u".cpp",  u".cpp", u".h",     u".h",     u".h",   u".hpp", u".c",    u".py",
    u".py",   u".js",   u".js",  u".js",    u".js",    u".ts",  u".ts",  u".json", u".json",
    u".md",   u".md",   u".txt", u".cmake", u".yml",   u".xml", u".cs",  u".go",   u".rs",
    u".html", u".css",  u".map", u".o",     u".obj",   u".obj", u".pdb", u".lib",  u".sh",
    u".bat",  u".d.ts", u".mjs", u".java",  u".class", u".png", u".svg"};
constexpr const char16_t* kCacheExtensions[] = {u".tmp", u".tmp",   u".dat", u".bin",
                                                u".db",  u".cache", u".etl", u".json",
                                                u".log", u".jpg",   u".png", u".js"};
constexpr const char16_t* kLogExtensions[] = {u".log", u".log", u".log",  u".etl", u".etl",
                                              u".txt", u".xml", u".evtx", u".old", u".bak"};
constexpr const char16_t* kPictureExtensions[] = {u".jpg", u".jpg", u".jpg", u".jpg",
                                                  u".JPG", u".png", u".png", u".heic",
                                                  u".gif", u".mp4", u".mov", u".webp"};
constexpr const char16_t* kMusicExtensions[] = {u".mp3", u".mp3", u".mp3", u".flac",
                                                u".m4a", u".wma", u".ogg", u".wav"};

// --- Name building ---

void Append(std::u16string& out, const char16_t* text) {
  out += text;
}

void AppendLower(std::u16string& out, const char16_t* text) {
  for (; *text; ++text) {
    const char16_t c = *text;
    out += (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  }
}

void AppendNumber(std::u16string& out, uint64_t value, int minimumDigits = 1) {
  char16_t digits[24];
  int n = 0;
  do {
    digits[n++] = char16_t(u'0' + value % 10);
    value /= 10;
  } while (value != 0 || n < minimumDigits);
  while (n > 0) out += digits[--n];
}

void AppendHex(std::u16string& out, Random& random, int digits, bool upper = false) {
  const char16_t* set = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
  for (int i = 0; i < digits; ++i) out += set[random.Below(16)];
}

void AppendGuid(std::u16string& out, Random& random) {
  out += u'{';
  AppendHex(out, random, 8, true);
  for (int group : {4, 4, 4}) {
    out += u'-';
    AppendHex(out, random, group, true);
  }
  out += u'-';
  AppendHex(out, random, 12, true);
  out += u'}';
}

void AppendSyllables(std::u16string& out, Random& random, int count) {
  for (int i = 0; i < count; ++i) {
    Append(out, random.Pick(kConsonants));
    Append(out, random.Pick(kVowels));
  }
}

void AppendCamelWords(std::u16string& out, Random& random, int count) {
  for (int i = 0; i < count; ++i) Append(out, random.Pick(kWords));
}

void AppendDate(std::u16string& out, Random& random, const char16_t* separator) {
  AppendNumber(out, 2008 + random.Below(17));
  out += separator;
  AppendNumber(out, 1 + random.Below(12), 2);
  out += separator;
  AppendNumber(out, 1 + random.Below(28), 2);
}

// A stem in the style of Windows' own binaries.
void AppendSystemStem(std::u16string& out, Random& random) {
  const uint64_t style = random.Below(100);
  if (style < 30) {
    AppendCamelWords(out, random, 1 + int(random.Below(3)));
  } else if (style < 48) {
    Append(out, random.PerMille(500) ? u"ms" : u"wu");
    AppendSyllables(out, random, 1 + int(random.Below(2)));
    if (random.PerMille(400)) AppendNumber(out, random.Below(200));
  } else if (style < 60) {
    Append(out, random.PerMille(500) ? u"Windows." : u"Microsoft.");
    AppendCamelWords(out, random, 1);
    out += u'.';
    AppendCamelWords(out, random, 1);
    if (random.PerMille(400)) {
      out += u'.';
      AppendCamelWords(out, random, 1);
    }
  } else if (style < 68) {
    Append(out, u"api-ms-win-");
    AppendLower(out, random.Pick(kWords));
    out += u'-';
    AppendLower(out, random.Pick(kWords));
    Append(out, u"-l1-");
    AppendNumber(out, 1 + random.Below(3));
    out += u'-';
    AppendNumber(out, random.Below(3));
  } else if (style < 88) {
    AppendSyllables(out, random, 2 + int(random.Below(3)));
  } else {
    AppendCamelWords(out, random, 1 + int(random.Below(2)));
    Append(out, random.PerMille(500) ? u"Svc" : u"Host");
  }
}

void AppendComponentName(std::u16string& out, Random& random) {
  static constexpr const char16_t* kArchitectures[] = {u"amd64_", u"amd64_", u"amd64_",
                                                       u"wow64_", u"x86_",   u"msil_"};
  Append(out, random.Pick(kArchitectures));
  Append(out, u"microsoft-windows-");
  const int words = 1 + int(random.Below(3));
  for (int i = 0; i < words; ++i) {
    if (i) out += u'-';
    AppendLower(out, random.Pick(kWords));
  }
  Append(out, u"_31bf3856ad364e35_10.0.");
  Append(out, random.PerMille(600) ? u"19041." : u"22621.");
  AppendNumber(out, random.Below(4000));
  Append(out, random.PerMille(800) ? u"_none_" : u"_en-us_");
  AppendHex(out, random, 16);
}

// Fills `out` with a name for a new entry in a directory of flavour `flavour`, and sets the
// flavour a new directory gets.
void MakeName(Random& random, Flavour flavour, bool isDirectory, std::u16string& out,
              Flavour* childFlavour) {
  out.clear();
  *childFlavour = flavour;
  // A share of user-facing names carries a word in another script or with accents.
  const bool userFacing = flavour == kDocs || flavour == kPictures || flavour == kMusic;
  const uint64_t nonAsciiPerMille = userFacing ? 60 : (flavour == kProgram ? 10 : 0);
  switch (flavour) {
    case kSystem:
      if (isDirectory) {
        const uint64_t style = random.Below(100);
        if (style < 12) {
          Append(out, random.Pick(kLanguages));
          *childFlavour = kLanguage;
        } else if (style < 22) {
          Append(out, u"Microsoft-Windows-");
          AppendCamelWords(out, random, 1);
          out += u'-';
          AppendCamelWords(out, random, 1);
        } else if (style < 70) {
          AppendCamelWords(out, random, 1 + int(random.Below(2)));
        } else {
          AppendLower(out, random.Pick(kWords));
        }
      } else {
        AppendSystemStem(out, random);
        Append(out, random.Pick(kSystemExtensions));
      }
      return;
    case kWinSxS:
      AppendComponentName(out, random);
      if (isDirectory) {
        *childFlavour = kComponent;
      } else {
        Append(out, u".manifest");
      }
      return;
    case kComponent:
      if (isDirectory) {
        Append(out, random.PerMille(500) ? u"f" : u"r");
      } else {
        AppendSystemStem(out, random);
        Append(out, random.Pick(kComponentExtensions));
      }
      return;
    case kDriverStore:
      AppendSyllables(out, random, 1 + int(random.Below(3)));
      AppendNumber(out, random.Below(100));
      Append(out, u".inf_amd64_");
      AppendHex(out, random, 16);
      *childFlavour = kDriverPackage;
      return;
    case kDriverPackage:
      if (isDirectory) {
        Append(out, random.Pick(kLanguages));
      } else {
        AppendSyllables(out, random, 2 + int(random.Below(4)));
        if (random.PerMille(500)) AppendNumber(out, random.Below(1000));
        Append(out, random.Pick(kDriverExtensions));
      }
      return;
    case kServicing:
      Append(out, u"Microsoft-Windows-");
      AppendCamelWords(out, random, 1 + int(random.Below(2)));
      Append(out, u"-Package~31bf3856ad364e35~amd64~~10.0.19041.");
      AppendNumber(out, random.Below(4000));
      Append(out, random.PerMille(500) ? u".mum" : u".cat");
      return;
    case kLanguage:
      AppendSystemStem(out, random);
      Append(out, random.PerMille(800) ? u".dll.mui" : u".exe.mui");
      return;
    case kPrefetch:
      AppendSyllables(out, random, 2 + int(random.Below(3)));
      for (char16_t& c : out) {
        if (c >= u'a' && c <= u'z') c = char16_t(c - 32);
      }
      Append(out, u".EXE-");
      AppendHex(out, random, 8, true);
      Append(out, u".pf");
      return;
    case kFonts:
      AppendSyllables(out, random, 1 + int(random.Below(3)));
      if (random.PerMille(300)) Append(out, random.PerMille(500) ? u"b" : u"bd");
      Append(out, random.PerMille(700) ? u".ttf" : (random.PerMille(500) ? u".ttc" : u".otf"));
      return;
    case kInstaller:
      if (isDirectory) {
        AppendGuid(out, random);
      } else if (random.PerMille(700)) {
        AppendHex(out, random, 5 + int(random.Below(3)));
        Append(out, random.PerMille(700) ? u".msi" : u".msp");
      } else {
        Append(out, random.PerMille(500) ? u"ARPPRODUCTICON.exe" : u"");
        if (out.empty()) {
          AppendHex(out, random, 8);
          Append(out, u".ico");
        }
      }
      return;
    case kProgram:
      if (isDirectory) {
        const uint64_t style = random.Below(100);
        static constexpr const char16_t* kCommon[] = {
            u"resources", u"plugins", u"bin",     u"lib",  u"x64",    u"assets",
            u"images",    u"icons",   u"locales", u"data", u"config", u"modules"};
        if (style < 35) {
          Append(out, random.Pick(kCommon));
        } else if (style < 75) {
          AppendCamelWords(out, random, 1 + int(random.Below(2)));
        } else if (style < 88) {
          Append(out, random.Pick(kWords));
          out += u' ';
          Append(out, random.Pick(kWords));
        } else {
          AppendNumber(out, 1 + random.Below(20));
          out += u'.';
          AppendNumber(out, random.Below(10));
          out += u'.';
          AppendNumber(out, random.Below(5000));
        }
      } else {
        const uint64_t style = random.Below(100);
        if (style < 30) {
          AppendCamelWords(out, random, 2 + int(random.Below(2)));
        } else if (style < 45) {
          Append(out, random.PerMille(500) ? u"Microsoft." : u"Vendor.");
          AppendCamelWords(out, random, 1);
          out += u'.';
          AppendCamelWords(out, random, 1 + int(random.Below(2)));
        } else if (style < 75) {
          const char16_t separator = random.PerMille(500) ? u'_' : u'-';
          AppendLower(out, random.Pick(kWords));
          out += separator;
          AppendLower(out, random.Pick(kWords));
          if (random.PerMille(400)) {
            out += separator;
            AppendLower(out, random.Pick(kWords));
          }
          if (random.PerMille(300)) AppendNumber(out, random.Below(300));
        } else if (style < 85) {
          Append(out, random.Pick(kLanguages));
        } else {
          AppendSyllables(out, random, 2 + int(random.Below(2)));
          AppendNumber(out, random.Below(100));
        }
        if (random.PerMille(nonAsciiPerMille)) Append(out, random.Pick(kNonAsciiWords));
        Append(out, random.Pick(kProgramExtensions));
      }
      return;
    case kGame:
      if (isDirectory) {
        static constexpr const char16_t* kParts[] = {u"maps",    u"sounds", u"textures", u"models",
                                                     u"shaders", u"levels", u"content",  u"paks"};
        Append(out, random.Pick(kParts));
        if (random.PerMille(400)) AppendNumber(out, random.Below(40), 2);
      } else {
        static constexpr const char16_t* kStems[] = {
            u"texture_", u"level_", u"sound_bank_", u"mesh_", u"anim_", u"T_", u"SM_", u"chunk"};
        Append(out, random.Pick(kStems));
        AppendLower(out, random.Pick(kWords));
        out += u'_';
        AppendNumber(out, random.Below(10000), 4);
        Append(out, random.Pick(kGameExtensions));
      }
      return;
    case kDocs:
      if (isDirectory) {
        const uint64_t style = random.Below(100);
        if (style < 8) {
          Append(out, random.PerMille(500) ? u"新建文件夹" : u"New folder");
          if (random.PerMille(600)) {
            Append(out, u" (");
            AppendNumber(out, 2 + random.Below(9));
            out += u')';
          }
        } else if (style < 25) {
          AppendNumber(out, 2005 + random.Below(20));
        } else if (style < 35 || random.PerMille(nonAsciiPerMille)) {
          Append(out, random.Pick(kNonAsciiWords));
        } else {
          Append(out, random.Pick(kDocWords));
          if (random.PerMille(500)) {
            out += u' ';
            Append(out, random.Pick(kDocWords));
          }
        }
      } else {
        const uint64_t style = random.Below(100);
        if (style < 10) Append(out, u"Copy of ");
        if (style < 45) {
          Append(out, random.Pick(kDocWords));
          out += u' ';
          Append(out, random.Pick(kDocWords));
          if (random.PerMille(400)) {
            out += u' ';
            AppendNumber(out, 2005 + random.Below(20));
          }
        } else if (style < 70) {
          Append(out, random.Pick(kDocWords));
          out += u'_';
          AppendDate(out, random, u"-");
        } else if (style < 85) {
          AppendLower(out, random.Pick(kDocWords));
          if (random.PerMille(500)) AppendNumber(out, random.Below(100));
        } else {
          Append(out, random.Pick(kDocWords));
          Append(out, random.PerMille(500) ? u" final" : u" v");
          AppendNumber(out, 1 + random.Below(9));
        }
        if (random.PerMille(nonAsciiPerMille)) {
          out += u' ';
          Append(out, random.Pick(kNonAsciiWords));
        }
        if (random.PerMille(60)) {
          Append(out, u" (");
          AppendNumber(out, 1 + random.Below(5));
          out += u')';
        }
        Append(out, random.Pick(kDocExtensions));
      }
      return;
    case kPictures:
      if (isDirectory) {
        if (random.PerMille(400)) {
          AppendNumber(out, 2008 + random.Below(17));
          if (random.PerMille(500)) {
            out += u'-';
            AppendNumber(out, 1 + random.Below(12), 2);
          }
        } else {
          Append(out, u"Trip to ");
          Append(out, random.PerMille(300) ? random.Pick(kNonAsciiWords) : random.Pick(kWords));
        }
      } else {
        const uint64_t style = random.Below(100);
        if (style < 40) {
          Append(out, u"IMG_");
          AppendDate(out, random, u"");
          out += u'_';
          AppendNumber(out, random.Below(240000), 6);
        } else if (style < 60) {
          Append(out, u"DSC");
          AppendNumber(out, random.Below(100000), 5);
        } else if (style < 75) {
          Append(out, u"Screenshot ");
          AppendDate(out, random, u"-");
          out += u' ';
          AppendNumber(out, random.Below(240000), 6);
        } else if (style < 80) {
          Append(out, u"照片 ");
          AppendNumber(out, random.Below(1000), 3);
        } else {
          Append(out, random.Pick(kDocWords));
          out += u' ';
          AppendNumber(out, 1 + random.Below(300));
        }
        if (random.PerMille(nonAsciiPerMille)) {
          out += u' ';
          Append(out, random.Pick(kNonAsciiWords));
        }
        Append(out, random.Pick(kPictureExtensions));
      }
      return;
    case kMusic:
      if (isDirectory) {
        if (random.PerMille(500)) Append(out, u"The ");
        Append(out, random.PerMille(nonAsciiPerMille * 3) ? random.Pick(kNonAsciiWords)
                                                          : random.Pick(kWords));
        out += u' ';
        Append(out, random.Pick(kWords));
        if (random.PerMille(400)) {
          Append(out, u" (");
          AppendNumber(out, 1960 + random.Below(65));
          out += u')';
        }
      } else {
        AppendNumber(out, 1 + random.Below(20), 2);
        Append(out, u" - ");
        Append(out, random.Pick(kWords));
        out += u' ';
        Append(out, random.Pick(kDocWords));
        Append(out, random.Pick(kMusicExtensions));
      }
      return;
    case kDev:
      if (isDirectory) {
        static constexpr const char16_t* kDirs[] = {
            u"src",          u"include",      u"tests",   u"build",   u"docs",   u"lib",
            u"bin",          u"obj",          u"Debug",   u"Release", u"x64",    u"dist",
            u"node_modules", u"node_modules", u"scripts", u"tools",   u"assets", u"vendor",
            u".git",         u"objects",      u"packages"};
        if (random.PerMille(300)) {
          AppendLower(out, random.Pick(kDevWords));
          if (random.PerMille(300)) {
            out += u'-';
            AppendLower(out, random.Pick(kDevWords));
          }
        } else {
          Append(out, random.Pick(kDirs));
        }
      } else {
        static constexpr const char16_t* kSpecial[] = {
            u"README.md",    u"LICENSE",    u"Makefile", u"CMakeLists.txt",
            u"package.json", u".gitignore", u"index.js", u"__init__.py"};
        if (random.PerMille(60)) {
          Append(out, random.Pick(kSpecial));
        } else {
          Append(out, random.Pick(kDevWords));
          out += u'_';
          Append(out, random.Pick(kDevWords));
          if (random.PerMille(500)) {
            out += u'_';
            Append(out, random.Pick(kDevWords));
          }
          if (random.PerMille(200)) Append(out, u"_test");
          Append(out, random.Pick(kDevExtensions));
        }
      }
      return;
    case kCache:
      if (isDirectory) {
        const uint64_t style = random.Below(100);
        if (style < 15) {
          AppendHex(out, random, 2);
        } else if (style < 40) {
          AppendGuid(out, random);
        } else if (style < 65) {
          Append(out, random.PerMille(500) ? u"Microsoft." : u"");
          AppendCamelWords(out, random, 2);
          out += u'_';
          AppendHex(out, random, 13);
        } else {
          static constexpr const char16_t* kDirs[] = {u"Cache",      u"Code Cache",  u"GPUCache",
                                                      u"LocalCache", u"TempState",   u"Low",
                                                      u"IndexedDB",  u"blob_storage"};
          Append(out, random.Pick(kDirs));
        }
      } else {
        const uint64_t style = random.Below(100);
        if (style < 35) {
          AppendHex(out, random, 16);
        } else if (style < 50) {
          Append(out, u"f_");
          AppendHex(out, random, 6);
        } else if (style < 65) {
          Append(out, u"~DF");
          AppendHex(out, random, 4, true);
          Append(out, u".tmp");
        } else if (style < 75) {
          AppendGuid(out, random);
          Append(out, u".tmp");
        } else {
          AppendHex(out, random, 8 + int(random.Below(9)));
          Append(out, random.Pick(kCacheExtensions));
        }
      }
      return;
    case kLogs:
      if (isDirectory) {
        AppendCamelWords(out, random, 1);
      } else {
        AppendCamelWords(out, random, 1);
        out += u'_';
        AppendDate(out, random, u"");
        if (random.PerMille(500)) {
          out += u'_';
          AppendNumber(out, random.Below(240000), 6);
        }
        Append(out, random.Pick(kLogExtensions));
      }
      return;
  }
}

// --- A set of (directory, folded name) keys, so names are unique within a directory ---
//
// Keys are 32-bit hashes, so the table stays small; two names that happen to share a key only
// make the caller pick another name.
class NameSet {
 public:
  explicit NameSet(size_t expected) {
    size_t size = 1024;
    while (size * 3 < expected * 5) size <<= 1;  // at most 60% full
    slots_.assign(size, 0);
    mask_ = size - 1;
  }

  // False when the name is taken in that directory already (or its key is).
  bool Insert(uint64_t directoryFrn, std::u16string_view name) {
    if (count_ * 5 >= slots_.size() * 3) Grow();
    return InsertKey(Key(directoryFrn, name));
  }

 private:
  static uint32_t Key(uint64_t directoryFrn, std::u16string_view name) {
    uint64_t h = 0xCBF29CE484222325ull ^ (directoryFrn * 0x9E3779B97F4A7C15ull);
    for (char16_t c : name) {
      if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
      h = (h ^ c) * 0x100000001B3ull;
    }
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    const uint32_t key = uint32_t(h);
    return key ? key : 1;
  }

  bool InsertKey(uint32_t key) {
    for (size_t i = size_t(key) & mask_;; i = (i + 1) & mask_) {
      if (slots_[i] == key) return false;
      if (slots_[i] == 0) {
        slots_[i] = key;
        ++count_;
        return true;
      }
    }
  }

  void Grow() {
    std::vector<uint32_t> old;
    old.swap(slots_);
    slots_.assign(old.size() * 2, 0);
    mask_ = slots_.size() - 1;
    count_ = 0;
    for (uint32_t key : old) {
      if (key) InsertKey(key);
    }
  }

  std::vector<uint32_t> slots_;
  size_t mask_ = 0;
  size_t count_ = 0;
};

// --- The generator ---

constexpr uint32_t kNone = UINT32_MAX;
constexpr uint64_t kRootFrn = 0x0005000000000005ull;
constexpr uint32_t kDirectoryAttribute = 0x10;

// One directory of the volume. Kept apart from the entries, and small, so that choosing where
// the next entry goes touches little memory.
struct Directory {
  uint64_t frn;
  uint32_t parent;  // directory id; the root is its own parent
  uint8_t depth;    // the root is 0
  uint8_t flavour;
  bool open;  // new entries may be placed in it
};

// An entry as the journal changes it after the enumeration.
struct LiveItem {
  uint64_t frn;
  uint64_t parentFrn;
  uint64_t nameOffset;  // into content.names
  uint32_t nameLength;
  uint32_t directory;  // its directory id when it is a directory, else kNone
  uint32_t parent;     // directory id of its parent
  bool live;
};

class Generator {
 public:
  explicit Generator(const SyntheticVolumeOptions& options)
      : options_(options),
        random_(options.seed),
        names_(options.entryCount + options.changeCount) {}

  VolumeContent Run();

 private:
  uint64_t NewFrn() {
    const uint64_t segment = nextSegment_;
    nextSegment_ += 1 + (random_.PerMille(50) ? random_.Below(16) : 0);
    const uint64_t roll = random_.Below(100);
    uint64_t sequence = 1;
    if (roll >= 90) {
      sequence = 6 + random_.Below(250);
    } else if (roll >= 80) {
      sequence = 3 + random_.Below(3);
    } else if (roll >= 60) {
      sequence = 2;
    }
    return (sequence << 48) | segment;
  }

  bool Full() const { return content_.entries.size() >= options_.entryCount; }

  // Appends an entry of the enumeration whose name is already recorded in names_. Returns its
  // directory id, or kNone for a file.
  uint32_t AddEntry(uint32_t parent, std::u16string_view name, bool isDirectory, Flavour flavour,
                    uint64_t frn, bool open, uint32_t attributes) {
    const size_t index = content_.entries.size();
    const int64_t usn =
        (usnBase_ + int64_t(index) * 128 + int64_t(random_.Below(1024))) & ~int64_t(7);
    const uint64_t parentFrn = parent == kNone ? frn : directories_[parent].frn;
    content_.AddEntry(frn, parentFrn, attributes, usn, name);
    return isDirectory ? AddDirectory(parent, frn, flavour, open) : kNone;
  }

  uint32_t AddDirectory(uint32_t parent, uint64_t frn, Flavour flavour, bool open) {
    const uint32_t id = uint32_t(directories_.size());
    Directory d;
    d.frn = frn;
    d.parent = parent == kNone ? id : parent;
    d.depth = parent == kNone ? 0 : uint8_t(std::min(255, directories_[parent].depth + 1));
    d.flavour = flavour;
    d.open = open;
    directories_.push_back(d);
    if (open) openDirectories_.push_back(id);
    return id;
  }

  // A fixed part of the tree. Returns the directory id (kNone for a file, once the volume is
  // full, or under a missing parent).
  uint32_t Fixed(uint32_t parent, const char16_t* name, bool isDirectory, Flavour flavour,
                 uint32_t attributes, uint64_t frn = 0, bool open = true) {
    if (Full() || parent == kNone) return kNone;
    names_.Insert(directories_[parent].frn, name);
    return AddEntry(parent, name, isDirectory, flavour, frn ? frn : NewFrn(), open, attributes);
  }
  uint32_t Dir(uint32_t parent, const char16_t* name, Flavour flavour, uint32_t hotWeight = 0) {
    const uint32_t id = Fixed(parent, name, true, flavour, kDirectoryAttribute);
    if (id != kNone && hotWeight) {
      hot_.emplace_back(id, hotWeight);
      hotTotal_ += hotWeight;
    }
    return id;
  }

  void BuildSkeleton();
  uint32_t ChooseDirectory();
  void Grow();
  uint32_t AttributesFor(bool isDirectory, Flavour flavour);
  void MakeChanges();
  void SortEntries();

  // Makes a name (in scratch_) not yet used in `directory` and records it there; false when
  // none was found.
  bool UniqueName(uint32_t directory, Flavour flavour, bool isDirectory, Flavour* childFlavour);

  const SyntheticVolumeOptions& options_;
  Random random_;
  NameSet names_;
  VolumeContent content_;
  std::vector<Directory> directories_;
  std::vector<uint32_t> openDirectories_;
  std::vector<uint32_t> placed_;                    // the directory of every grown entry, in order
  std::vector<std::pair<uint32_t, uint32_t>> hot_;  // directory id, weight
  uint64_t hotTotal_ = 0;
  uint64_t nextSegment_ = 64;
  int64_t usnBase_ = 0;
  size_t firstGrown_ = 0;  // index of the first entry made by Grow
  std::u16string scratch_;
};

void Generator::BuildSkeleton() {
  if (Full()) return;
  const uint32_t root = AddEntry(kNone, u".", true, kSystem, kRootFrn, false, 0x16);
  static constexpr const char16_t* kSystemFiles[] = {
      u"$MFT",    u"$MFTMirr", u"$LogFile", u"$Volume", u"$AttrDef", nullptr,
      u"$Bitmap", u"$Boot",    u"$BadClus", u"$Secure", u"$UpCase"};
  for (uint64_t segment = 0; segment < 11; ++segment) {
    if (!kSystemFiles[segment]) continue;
    const uint64_t sequence = segment == 0 ? 1 : segment;
    Fixed(root, kSystemFiles[segment], false, kSystem, 0x26, (sequence << 48) | segment);
  }
  const uint32_t extend =
      Fixed(root, u"$Extend", true, kSystem, 0x16, 0x000B00000000000Bull, false);
  uint64_t segment = 24;
  auto meta = [&](uint32_t parent, const char16_t* name, bool isDirectory) {
    const uint64_t frn = (uint64_t(1) << 48) | segment++;
    return Fixed(parent, name, isDirectory, kSystem, isDirectory ? 0x16 : 0x26, frn, false);
  };
  meta(extend, u"$Quota", false);
  meta(extend, u"$ObjId", false);
  meta(extend, u"$Reparse", false);
  const uint32_t rm = meta(extend, u"$RmMetadata", true);
  meta(extend, u"$UsnJrnl", false);
  meta(extend, u"$Deleted", true);
  meta(rm, u"$Repair", false);
  const uint32_t txfLog = meta(rm, u"$TxfLog", true);
  meta(rm, u"$Txf", true);
  meta(txfLog, u"$Tops", false);
  meta(txfLog, u"$TxfLog.blf", false);

  for (const char16_t* name :
       {u"pagefile.sys", u"swapfile.sys", u"hiberfil.sys", u"DumpStack.log.tmp"}) {
    Fixed(root, name, false, kSystem, 0x26);
  }
  Fixed(root, u"Documents and Settings", true, kSystem, 0x2416, 0, false);
  const uint32_t recycle = Fixed(root, u"$Recycle.Bin", true, kCache, 0x16, 0, false);
  Dir(recycle, u"S-1-5-21-3623811015-3361044348-30300820-1001", kDocs);
  Fixed(root, u"System Volume Information", true, kCache, 0x16);
  Dir(root, u"PerfLogs", kLogs);
  Fixed(root, u"Recovery", true, kSystem, 0x16);

  // Windows.
  const uint32_t windows = Fixed(root, u"Windows", true, kSystem, kDirectoryAttribute);
  const uint32_t system32 = Dir(windows, u"System32", kSystem, 30);
  Dir(windows, u"SysWOW64", kSystem, 18);
  Dir(windows, u"WinSxS", kWinSxS, 22);
  const uint32_t servicing = Dir(windows, u"servicing", kSystem);
  Dir(servicing, u"Packages", kServicing, 10);
  const uint32_t driverStore = Dir(system32, u"DriverStore", kSystem);
  Dir(driverStore, u"FileRepository", kDriverStore, 6);
  Dir(system32, u"drivers", kSystem, 4);
  Dir(system32, u"en-US", kLanguage, 8);
  Dir(system32, u"config", kSystem);
  Dir(windows, u"INF", kDriverPackage, 4);
  Dir(windows, u"Installer", kInstaller, 2);
  Dir(windows, u"Fonts", kFonts, 3);
  Dir(windows, u"Prefetch", kPrefetch, 2);
  Dir(windows, u"Logs", kLogs, 2);
  Dir(windows, u"Temp", kCache);
  Dir(windows, u"SystemApps", kProgram);
  const uint32_t net = Dir(windows, u"Microsoft.NET", kProgram);
  const uint32_t framework = Dir(net, u"Framework64", kProgram);
  Dir(framework, u"v4.0.30319", kProgram);
  const uint32_t web = Dir(windows, u"Web", kPictures);
  Dir(web, u"Wallpaper", kPictures);

  // Programs: more of them on larger volumes.
  const uint32_t programFiles = Fixed(root, u"Program Files", true, kProgram, 0x11, 0, false);
  const uint32_t programFiles86 =
      Fixed(root, u"Program Files (x86)", true, kProgram, 0x11, 0, false);
  Dir(programFiles, u"Common Files", kProgram);
  Dir(programFiles, u"WindowsApps", kProgram, 3);
  const uint32_t steam = Dir(programFiles86, u"Steam", kProgram);
  const uint32_t steamApps = Dir(steam, u"steamapps", kProgram);
  const uint32_t games = Fixed(steamApps, u"common", true, kGame, kDirectoryAttribute, 0, false);
  const size_t programs = 16 + options_.entryCount / 40000;
  for (size_t i = 0; i < programs && !Full(); ++i) {
    const bool game = i % 7 == 3 && games != kNone;
    const uint32_t parent = game ? games : (i % 3 == 0 ? programFiles86 : programFiles);
    if (parent == kNone) continue;
    scratch_.clear();
    Append(scratch_, random_.Pick(kWords));
    if (random_.PerMille(600)) scratch_ += u' ';
    Append(scratch_, random_.Pick(kWords));
    if (!names_.Insert(directories_[parent].frn, scratch_)) continue;
    AddEntry(parent, scratch_, true, game ? kGame : kProgram, NewFrn(), true, kDirectoryAttribute);
  }
  const uint32_t programData = Fixed(root, u"ProgramData", true, kProgram, 0x2012);
  const uint32_t dataMicrosoft = Dir(programData, u"Microsoft", kProgram);
  const uint32_t dataWindows = Dir(dataMicrosoft, u"Windows", kProgram);
  Dir(dataWindows, u"WER", kLogs);
  Dir(programData, u"Package Cache", kInstaller);

  // Users.
  const uint32_t users = Fixed(root, u"Users", true, kSystem, 0x11, 0, false);
  Dir(users, u"Public", kDocs);
  Fixed(users, u"Default", true, kProgram, 0x12);
  static constexpr const char16_t* kUserNames[] = {u"alex",   u"maria", u"jchen", u"Administrator",
                                                   u"kim",    u"sofia", u"lukas", u"José",
                                                   u"amelie", u"raj"};
  const uint32_t user = Dir(users, random_.Pick(kUserNames), kDocs);
  const uint32_t appData = Fixed(user, u"AppData", true, kProgram, 0x12, 0, false);
  const uint32_t local = Dir(appData, u"Local", kCache, 2);
  Dir(local, u"Temp", kCache, 3);
  Dir(local, u"Packages", kCache);
  const uint32_t localMicrosoft = Dir(local, u"Microsoft", kProgram);
  Dir(localMicrosoft, u"Windows", kCache);
  Dir(appData, u"Roaming", kProgram);
  Dir(appData, u"LocalLow", kCache);
  for (const char16_t* junction : {u"Application Data", u"Cookies", u"My Documents", u"NetHood"}) {
    Fixed(user, junction, true, kSystem, 0x2416, 0, false);
  }
  Dir(user, u"Documents", kDocs, 3);
  Dir(user, u"Desktop", kDocs, 2);
  Dir(user, u"Downloads", kDocs, 3);
  Dir(user, u"Pictures", kPictures, 2);
  Dir(user, u"Music", kMusic);
  Dir(user, u"Videos", kPictures);
  const uint32_t source = Dir(user, u"source", kDev);
  Dir(source, u"repos", kDev, 2);
  Fixed(user, u"NTUSER.DAT", false, kSystem, 0x22);
}

bool Generator::UniqueName(uint32_t directory, Flavour flavour, bool isDirectory,
                           Flavour* childFlavour) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    MakeName(random_, flavour, isDirectory, scratch_, childFlavour);
    if (attempt >= 3) {
      // A crowded directory: tell the name apart with a number, as people and programs do.
      const size_t dot = scratch_.rfind(u'.');
      std::u16string suffix = u" (";
      AppendNumber(suffix, 2 + random_.Below(1000));
      suffix += u')';
      scratch_.insert(dot == std::u16string::npos || dot == 0 ? scratch_.size() : dot, suffix);
    }
    if (scratch_.empty() || scratch_.size() > 255) continue;
    if (names_.Insert(directories_[directory].frn, scratch_)) return true;
  }
  return false;
}

uint32_t Generator::ChooseDirectory() {
  const uint64_t roll = random_.Below(100000);
  // A fixed number of entries, not a share, goes straight into the huge directories, so
  // that they hold thousands of entries at every volume size.
  const uint64_t hotShare = std::min<uint64_t>(8000, 80000ull * 100000 / (options_.entryCount + 1));
  uint32_t directory = kNone;
  if (roll < hotShare && hotTotal_ != 0) {
    uint64_t pick = random_.Below(hotTotal_);
    for (const auto& [id, weight] : hot_) {
      if (pick < weight) {
        directory = id;
        break;
      }
      pick -= weight;
    }
  } else if (roll < hotShare + 50000 && !placed_.empty()) {
    // Where one of the recent entries went: busy directories grow faster, and in bursts.
    const size_t window = std::min<size_t>(placed_.size(), 1 << 16);
    directory = placed_[placed_.size() - 1 - random_.Below(window)];
  }
  if (directory == kNone) directory = openDirectories_[random_.Below(openDirectories_.size())];

  // Most paths stay 3 to 10 levels deep; source trees go deeper, and a few others too.
  const Directory& chosen = directories_[directory];
  const int soft = chosen.flavour == kDev ? 16 : 10;
  if (chosen.depth >= soft && !random_.PerMille(120)) {
    const int target = 3 + int(random_.Below(uint64_t(soft - 3)));
    while (directories_[directory].depth > target &&
           directories_[directories_[directory].parent].open) {
      directory = directories_[directory].parent;
    }
  }
  return directory;
}

uint32_t Generator::AttributesFor(bool isDirectory, Flavour flavour) {
  const uint64_t roll = random_.Below(100);
  if (isDirectory) {
    if (roll < 8) return 0x2010;  // not content indexed
    if (roll < 10) return 0x12;   // hidden
    return kDirectoryAttribute;
  }
  if (roll < 5) return 0x2020;
  if (roll < 8) return 0x21;  // read-only
  if (roll < 10 && flavour == kSystem) return 0x26;
  if (roll < 11) return 0x220;  // sparse
  return 0x20;
}

void Generator::Grow() {
  firstGrown_ = content_.entries.size();
  if (openDirectories_.empty()) return;
  placed_.reserve(options_.entryCount - firstGrown_);
  while (!Full()) {
    const uint32_t directory = ChooseDirectory();
    const Flavour flavour = Flavour(directories_[directory].flavour);
    const bool isDirectory = random_.PerMille(kDirectoryPerMille[flavour]);
    Flavour childFlavour;
    if (!UniqueName(directory, flavour, isDirectory, &childFlavour)) continue;
    AddEntry(directory, scratch_, isDirectory, isDirectory ? childFlavour : flavour, NewFrn(),
             isDirectory, AttributesFor(isDirectory, flavour));
    placed_.push_back(directory);
  }
}

void Generator::MakeChanges() {
  const size_t limit = options_.changeCount;
  if (limit == 0 || openDirectories_.empty() || content_.entries.size() <= firstGrown_) return;

  // The grown entries as the changes see them, then the entries the changes make.
  std::vector<LiveItem> items;
  items.reserve(content_.entries.size() - firstGrown_ + limit / 2);
  {
    // Directories were made in the order of their entries.
    uint32_t nextDirectory = 0;
    for (size_t i = 0; i < content_.entries.size(); ++i) {
      const auto& e = content_.entries[i];
      uint32_t id = kNone;
      if (nextDirectory < directories_.size() && directories_[nextDirectory].frn == e.frn) {
        id = nextDirectory++;
      }
      if (i < firstGrown_) continue;
      items.push_back(LiveItem{e.frn, e.parentFrn, e.nameOffset, e.nameLength, id,
                               placed_[i - firstGrown_], true});
    }
  }

  int64_t usn = content_.nextUsn;
  auto emit = [&](uint32_t reason, const LiveItem& item, const std::u16string& name) {
    if (content_.changes.size() >= limit) return;
    const uint32_t attributes = item.directory != kNone ? kDirectoryAttribute : 0x20;
    content_.AddChange(usn, reason, item.frn, item.parentFrn, attributes, name);
    usn += int64_t(UsnRecordSize(name.size()));
  };
  auto nameOf = [&](const LiveItem& item) {
    return std::u16string(content_.names, item.nameOffset, item.nameLength);
  };
  auto rename = [&](LiveItem& item, const std::u16string& name) {
    item.nameOffset = content_.names.size();
    item.nameLength = uint32_t(name.size());
    content_.names += name;
  };
  // A live item of the wanted kind, or kNone after a few tries.
  auto pickLive = [&](bool wantDirectory) {
    for (int attempt = 0; attempt < 32; ++attempt) {
      const uint32_t i = uint32_t(random_.Below(items.size()));
      if (items[i].live && (items[i].directory != kNone) == wantDirectory) return i;
    }
    return kNone;
  };
  auto create = [&](bool isDirectory) {
    const uint32_t parent = openDirectories_[random_.Below(openDirectories_.size())];
    const Flavour flavour = Flavour(directories_[parent].flavour);
    Flavour childFlavour;
    if (!UniqueName(parent, flavour, isDirectory, &childFlavour)) return kNone;
    LiveItem item{NewFrn(),
                  directories_[parent].frn,
                  content_.names.size(),
                  uint32_t(scratch_.size()),
                  kNone,
                  parent,
                  true};
    content_.names += scratch_;
    if (isDirectory) item.directory = AddDirectory(parent, item.frn, childFlavour, true);
    items.push_back(item);
    return uint32_t(items.size() - 1);
  };
  // A new name for item i in its directory, in scratch_.
  auto newName = [&](uint32_t i) {
    Flavour unused;
    const uint32_t parent = items[i].parent;
    return UniqueName(parent, Flavour(directories_[parent].flavour), items[i].directory != kNone,
                      &unused);
  };

  constexpr uint32_t kCreate = kUsnReasonFileCreate;
  constexpr uint32_t kDelete = kUsnReasonFileDelete;
  constexpr uint32_t kOldName = kUsnReasonRenameOldName;
  constexpr uint32_t kNewName = kUsnReasonRenameNewName;
  constexpr uint32_t kClose = kUsnReasonClose;
  constexpr uint32_t kDataExtend = 0x2;
  while (content_.changes.size() < limit) {
    const uint64_t roll = random_.Below(100);
    uint32_t i = kNone;
    if (roll < 30) {  // a new file, written and closed
      if ((i = create(false)) == kNone) continue;
      const std::u16string name = nameOf(items[i]);
      emit(kCreate, items[i], name);
      emit(kCreate | kDataExtend, items[i], name);
      emit(kClose | kCreate | kDataExtend, items[i], name);
    } else if (roll < 34) {  // a new directory
      if ((i = create(true)) == kNone) continue;
      const std::u16string name = nameOf(items[i]);
      emit(kCreate, items[i], name);
      emit(kClose | kCreate, items[i], name);
    } else if (roll < 52) {  // a deleted file
      if ((i = pickLive(false)) == kNone) continue;
      items[i].live = false;
      emit(kClose | kDelete, items[i], nameOf(items[i]));
    } else if (roll < 64) {  // a file or directory given a new name
      if ((i = pickLive(random_.PerMille(150))) == kNone || !newName(i)) continue;
      const std::u16string name = scratch_;
      emit(kOldName, items[i], nameOf(items[i]));
      rename(items[i], name);
      emit(kNewName, items[i], name);
      emit(kClose | kNewName, items[i], name);
    } else if (roll < 72) {  // a file moved to another directory under the same name
      if ((i = pickLive(false)) == kNone) continue;
      const uint32_t target = openDirectories_[random_.Below(openDirectories_.size())];
      const std::u16string name = nameOf(items[i]);
      if (target == items[i].parent || !names_.Insert(directories_[target].frn, name)) continue;
      emit(kOldName, items[i], name);
      items[i].parent = target;
      items[i].parentFrn = directories_[target].frn;
      emit(kNewName, items[i], name);
      emit(kClose | kNewName, items[i], name);
    } else if (roll < 92) {  // the data or the metadata of a file changed
      if ((i = pickLive(false)) == kNone) continue;
      // Overwrite, extend, truncate, basic information, security.
      static constexpr uint32_t kKinds[] = {0x1, 0x2, 0x4, 0x8000, 0x800, 0x3};
      const uint32_t reason = random_.Pick(kKinds);
      const std::u16string name = nameOf(items[i]);
      emit(reason, items[i], name);
      emit(kClose | reason, items[i], name);
    } else if (roll < 97) {  // a temporary file deleted before it was closed
      if ((i = create(false)) == kNone) continue;
      items[i].live = false;
      const std::u16string name = nameOf(items[i]);
      emit(kCreate, items[i], name);
      emit(kClose | kCreate | kDelete, items[i], name);
    } else {  // a new file given another name before it was closed
      if ((i = create(false)) == kNone || !newName(i)) continue;
      const std::u16string name = scratch_;
      const std::u16string first = nameOf(items[i]);
      emit(kCreate, items[i], first);
      emit(kCreate | kOldName, items[i], first);
      rename(items[i], name);
      emit(kCreate | kNewName, items[i], name);
      emit(kClose | kCreate | kNewName, items[i], name);
    }
  }
}

void Generator::SortEntries() {
  // Entries were made in ascending segment order (the system files aside); a stable counting
  // sort by the sequence number (the top 16 bits) therefore orders them by frn in linear time.
  auto& entries = content_.entries;
  auto byFrn = [](const auto& a, const auto& b) { return a.frn < b.frn; };
  if (std::is_sorted(entries.begin(), entries.end(), byFrn)) return;
  std::vector<uint32_t> counts(65537, 0);
  for (const auto& e : entries) ++counts[(e.frn >> 48) + 1];
  for (size_t i = 1; i < counts.size(); ++i) counts[i] += counts[i - 1];
  std::vector<VolumeContent::Entry> sorted(entries.size());
  for (const auto& e : entries) sorted[counts[e.frn >> 48]++] = e;
  entries.swap(sorted);
  if (!std::is_sorted(entries.begin(), entries.end(), byFrn)) {
    std::sort(entries.begin(), entries.end(), byFrn);
  }
}

VolumeContent Generator::Run() {
  uint64_t state = options_.seed;
  usnBase_ = int64_t(0x400000000ull + (SplitMix64(state) & 0xFFFF) * 4096);
  content_.entries.reserve(options_.entryCount);
  content_.names.reserve(options_.entryCount * 22);
  directories_.reserve(options_.entryCount / 6 + 64);
  BuildSkeleton();
  Grow();

  // USNs are byte offsets in the journal, multiples of 8. The older half of the entries'
  // history has left the journal already.
  const int64_t n = int64_t(content_.entries.size());
  content_.hasJournal = true;
  content_.journalId = 0x01D0000000000000ull | (random_.Next() & 0x000FFFFFFFFFFFFFull);
  content_.firstUsn = (usnBase_ + n * 64) & ~int64_t(7);
  content_.nextUsn = usnBase_ + n * 128 + 2048;

  MakeChanges();
  SortEntries();
  return std::move(content_);
}

}  // namespace

VolumeContent GenerateSyntheticContent(const SyntheticVolumeOptions& options) {
  return Generator(options).Run();
}

void GenerateSyntheticVolume(const SyntheticVolumeOptions& options, FakeVolume& out) {
  FillFakeVolume(GenerateSyntheticContent(options), out);
}

std::string GenerateVolumeImageText(const SyntheticVolumeOptions& options) {
  std::string text;
  std::string error;
  FormatVolumeImage(GenerateSyntheticContent(options), &text, &error);
  return text;
}

}  // namespace qm
