#pragma once
// A Community folder in the shapes real AI traffic packages use, for the livery scan's tests and its
// benchmark: package folders with the detection markers, SimObjects/Airplanes/<model>/aircraft.cfg
// files in every encoding and line-end style the scan must read, and the traps of a real folder (a
// converted package, a scenery folder, an overlong path, a folder symlink loop, an upper-case file
// name). Airlines and types are those of the program's data set (data/dbase.xml).

#include "core/strings.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace community_tree {

namespace fs = std::filesystem;

enum class Encoding { utf8, utf8Bom, utf16le, utf16be, windows1252 };

// Writes `utf8` in the encoding. For Windows-1252 the text must only hold characters of that code page;
// "é" is the one non-ASCII character the tree uses.
inline void writeEncoded(const fs::path& path, std::string_view utf8, Encoding encoding) {
    fs::create_directories(path.parent_path());
    std::string bytes;
    switch (encoding) {
    case Encoding::utf8:
        bytes = utf8;
        break;
    case Encoding::utf8Bom:
        bytes = "\xEF\xBB\xBF" + std::string(utf8);
        break;
    case Encoding::utf16le:
    case Encoding::utf16be: {
        const bool little = encoding == Encoding::utf16le;
        bytes = little ? std::string("\xFF\xFE", 2) : std::string("\xFE\xFF", 2);
        for (const char16_t unit : utf8_to_wide(utf8)) {
            const char low = static_cast<char>(unit & 0xFF);
            const char high = static_cast<char>(unit >> 8);
            bytes += little ? low : high;
            bytes += little ? high : low;
        }
        break;
    }
    case Encoding::windows1252:
        for (std::size_t i = 0; i < utf8.size(); ++i) {
            if (utf8.substr(i, 2) == "\xC3\xA9") {
                bytes += '\xE9';
                ++i;
            } else if (static_cast<unsigned char>(utf8[i]) >= 0x80) {
                throw std::invalid_argument("writeEncoded: only ASCII and é in Windows-1252");
            } else {
                bytes += utf8[i];
            }
        }
        break;
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("writeEncoded: cannot write " + path.string());
}

// Lines joined with `lineEnd`, with or without a final line end.
inline std::string joinLines(const std::vector<std::string>& lines, std::string_view lineEnd = "\r\n",
                             bool finalLineEnd = true) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        text += lines[i];
        if (i + 1 < lines.size() || finalLineEnd) text += lineEnd;
    }
    return text;
}

inline void writePlain(const fs::path& path, std::string_view text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// The package roots' files that the scan ignores.
inline void writePackageRoot(const fs::path& package) {
    writePlain(package / "layout.json", "{\"content\": []}\n");
    writePlain(package / "manifest.json", "{\"title\": \"AI traffic\", \"package_version\": \"1.0.0\"}\n");
}

// The Windows-1252 title (as UTF-8).
inline constexpr std::string_view cafeTitle = "Boeing 777-200ER Austrian Caf\xC3\xA9";

// The same file in three encodings gives the same liveries: one body for the encoding table.
inline std::string encodingSample() {
    return joinLines({"[VERSION]", "major = 1", "[GENERAL]", "icao_type_designator = \"B772\"", "",
                      "[FLTSIM.0]", "title = \"Boeing 777-200ER Austrian Caf\xC3\xA9\"", "icao_airline = AUA",
                      "atc_id = OE-LPA", "[FLTSIM.1]", "title = Boeing 777-200ER Austrian Night ; remark",
                      "icao_airline = \"AUA\""});
}

// The sample Community folder. Returns the package folders by name for the tests.
inline void writeSampleCommunity(const fs::path& community) {
    // ---- AIG: CRLF UTF-8, UTF-16 LE, an upper-case file name with a BOM, LF and no final newline ----
    const fs::path aig = community / "aig-aitraffic-oci";
    writePackageRoot(aig);
    writeEncoded(aig / "SimObjects/Airplanes/FSXAI_A320_SWR/aircraft.cfg",
                 joinLines({"[VERSION]",
                            "major = 1",
                            "minor = 0",
                            "",
                            "[GENERAL]",
                            "icao_type_designator = \"A320\" ; the model",
                            "",
                            "// liveries below",
                            "[FLTSIM.0]",
                            "title = \"Airbus A320 Swiss\" ; shown in the menu",
                            "icao_airline = SWR",
                            "atc_id = HB-JLT",
                            "atc_parking_types = GATE",
                            "texture = SWR",
                            "",
                            "[fltsim.1]",
                            "TITLE=Airbus A320 Edelweiss",
                            "  icao_airline = \"EDW\"",
                            "atc_id=HB-JJA",
                            "// a comment inside",
                            "",
                            "[FLTSIM.2]",
                            "title = \"Airbus A320 Swiss\"",
                            "icao_airline = SWR",
                            "",
                            "[CAMERADEFINITION.0]",
                            "title = \"Pilot\"",
                            "Guid = {0}"}),
                 Encoding::utf8);
    writeEncoded(aig / "SimObjects/Airplanes/FSXAI_B77L/aircraft.cfg",
                 joinLines({"[GENERAL]", "icao_type_designator = B77F", "[FLTSIM.0]",
                            "title = \"Boeing 777F Lufthansa Cargo\"", "icao_airline = GEC",
                            "atc_parking_types = CARGO", "atc_id = D-ALFA", "[FLTSIM.1]",
                            "title = \"Boeing 777F AeroLogic\"", "icao_airline = BOX",
                            "atc_parking_types = GATE,CARGO", "atc_id = D-AALA"}),
                 Encoding::utf16le);
    writeEncoded(aig / "SimObjects/Airplanes/FSXAI_A20N/AIRCRAFT.CFG",
                 joinLines({"[GENERAL]", "base_container = \"..\\Asobo_A320_NEO\"", "[FLTSIM.0]",
                            "title = \"Airbus A320neo Lufthansa\"", "icao_airline = DLH", "atc_id = D-AINA",
                            "[FLTSIM.1]", "title = \"Airbus A320neo Unknown\"", "icao_airline = XYZ"},
                           "\n", false),
                 Encoding::utf8Bom);

    // ---- FSLTL: UTF-16 BE with mixed line ends, Windows-1252 ----
    const fs::path fsltl = community / "fsltl-traffic-base";
    writePackageRoot(fsltl);
    writeEncoded(fsltl / "SimObjects/Airplanes/FSLTL_A320/aircraft.cfg",
                 "[GENERAL]\r\nicao_type_designator=\"A320\"\n[FLTSIM.0]\r\ntitle=\"Airbus A320 Swiss\"\n"
                 "icao_airline=SWR\r\n[FLTSIM.1]\ntitle=\"Airbus A320 Lufthansa FSLTL\"\r\nicao_airline=DLH\n"
                 "[FLTSIM.2]\r\nicao_airline=DLH\r\ntexture=DLH2\n",
                 Encoding::utf16be);
    writeEncoded(fsltl / "SimObjects/Airplanes/FSLTL_B772/aircraft.cfg", encodingSample(),
                 Encoding::windows1252);

    // ---- the user's own package: missing fields, unknown model, no sections, traps ----
    const fs::path user = community / "user-aitraffic";
    writePackageRoot(user);
    writeEncoded(
        user / "SimObjects/Airplanes/User_C172/aircraft.cfg",
        joinLines({"[GENERAL]", "icao_type_designator = c172", "[FLTSIM.0]", "title = \"Cessna 172 white\"",
                   "[FLTSIM.1]", "title = \"Boeing 777F Lufthansa Cargo\"", "icao_airline = GEC"}),
        Encoding::utf8);
    writeEncoded(user / "SimObjects/Airplanes/User_Unknown/aircraft.cfg",
                 joinLines({"[GENERAL]", "icao_type_designator = ZZ99", "[FLTSIM.0]", "title = Unknown thing",
                            "icao_airline = SWR"}),
                 Encoding::utf8);
    writeEncoded(user / "SimObjects/Airplanes/User_Empty/aircraft.cfg",
                 joinLines({"[GENERAL]", "icao_type_designator = C172"}), Encoding::utf8);
    // Kept out of the walk: scenery (a skip word), an overlong path, a converted package inside.
    writeEncoded(user / "Scenery/airport-lszh/SimObjects/Airplanes/X/aircraft.cfg",
                 joinLines({"[GENERAL]", "icao_type_designator = A320", "[FLTSIM.0]", "title = Scenery A320",
                            "icao_airline = SWR"}),
                 Encoding::utf8);
    const fs::path longFolder = user / "long" / std::string(250, 'x');
    writeEncoded(longFolder / "aircraft.cfg",
                 joinLines({"[GENERAL]", "icao_type_designator = A320", "[FLTSIM.0]", "title = Long A320",
                            "icao_airline = SWR"}),
                 Encoding::utf8);
    writeEncoded(user / "old_CVT_models/aircraft.cfg",
                 joinLines({"[GENERAL]", "icao_type_designator = A320", "[FLTSIM.0]",
                            "title = Converted A320", "icao_airline = SWR"}),
                 Encoding::utf8);
    fs::create_directory_symlink("..", user / "SimObjects" / "loop");

    // ---- IVAO MTL: the model from the folder, the airline from the title, a texture folder each ----
    const fs::path ivao = community / "IVAO_MTL";
    writePackageRoot(ivao);
    const fs::path b738 = ivao / "SimObjects/Airplanes/IVAO_B738WLfa";
    writeEncoded(
        b738 / "aircraft.cfg",
        joinLines({"[FLTSIM.0]", "title = \" B738W SWR Swiss \"", "texture = SWR", "atc_parking_types = GATE",
                   "[FLTSIM.1]", "title = B738WKLM", "texture = KLM", "[FLTSIM.2]", "title = B738 DLH",
                   "texture = DLH", "// [a bracket in a comment closes the section]", "[FLTSIM.3]",
                   "title = B738WDLH Lufthansa", "texture = DLH"}),
        Encoding::utf8);
    fs::create_directories(b738 / "texture.SWR");
    fs::create_directories(b738 / "texture.DLH");

    // Ignored by the detection: a converted AIG package and an IVAO folder in the wrong case.
    writePackageRoot(community / "aig-aitraffic-oci_CVT_");
    writePackageRoot(community / "ivao_mtl");
}

// A generated package for the benchmark: `files` aircraft.cfg files with `sections` [FLTSIM.N]
// sections each, unique titles, airlines and types of the data set.
inline void writeGeneratedCommunity(const fs::path& community, int files, int sections) {
    static const std::vector<std::string> airlines{"SWR", "EDW", "EZS", "OAW", "AUA",
                                                   "DLH", "BAW", "AFR", "KLM"};
    static const std::vector<std::string> types{"A320", "A321", "A319", "B738",
                                                "E195", "BCS3", "A333", "B77W"};
    const fs::path package = community / "user-aitraffic";
    writePackageRoot(package);
    for (int f = 0; f < files; ++f) {
        std::string text = "[VERSION]\r\nmajor = 1\r\n[GENERAL]\r\nicao_type_designator = \"" +
                           types[static_cast<std::size_t>(f) % types.size()] + "\"\r\n\r\n";
        for (int s = 0; s < sections; ++s) {
            const std::string& airline = airlines[static_cast<std::size_t>(f + s) % airlines.size()];
            text += "[FLTSIM." + std::to_string(s) + "]\r\ntitle = \"Generated " + std::to_string(f) + " " +
                    std::to_string(s) + "\" ; the livery\r\nicao_airline = " + airline +
                    "\r\natc_parking_types = GATE\r\ntexture = T" + std::to_string(s) +
                    "\r\nui_variation = \"some text\"\r\n// comment\r\n\r\n";
        }
        text += "[CAMERADEFINITION.0]\r\ntitle = \"Pilot\"\r\n";
        writePlain(package / "SimObjects/Airplanes" / ("Model" + std::to_string(f)) / "aircraft.cfg", text);
    }
}

} // namespace community_tree
