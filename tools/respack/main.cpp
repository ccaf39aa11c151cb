// respack: writes resource packs and single resources for inkdot.
//
//   respack default OUTDIR            the default pack
//   respack list OUTDIR               what a pack holds
//   respack select OUTDIR ...         which colour table the index chooses
//   respack table3d|table4d|matrix|levels|records|numbers|curves -o FILE ...
#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>
#include <iostream>

#include "colour/cgats.h"
#include "colour/pack_colour.h"
#include "command_line.h"
#include "failure.h"
#include "respack/respack.h"

namespace {

using inkdot::cli::Failure;
using namespace inkdot::cli;  // the exit statuses

void writeFile(const std::string& path, const respack::Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) throw Failure(kExitOutput, "cannot write " + path);
    std::printf("%s: %zu bytes\n", path.c_str(), bytes.size());
}

nlohmann::json readManifest(const std::string& dir) {
    const std::filesystem::path file = std::filesystem::path(dir) / "manifest.json";
    std::ifstream in(file);
    if (!in)
        throw Failure(kExitPack, "no manifest.json in " + dir +
                                     ": not a resource pack (`respack default " + dir +
                                     "` makes one)");
    try {
        return nlohmann::json::parse(in);
    } catch (const nlohmann::json::parse_error& e) {
        throw Failure(kExitPack, "the pack's manifest " + file.string() +
                                     " is not valid JSON (at byte " + std::to_string(e.byte) + ")");
    }
}

int listPack(const std::string& dir) {
    const nlohmann::json manifest = readManifest(dir);
    std::printf("%6s  %-20s %8s  %s\n", "number", "kind", "bytes", "description");
    for (const auto& r : manifest.at("resources")) {
        std::string note;
        if (r.contains("selectedBy"))
            note = "  [" + std::to_string(r["selectedBy"].size()) + " index lines]";
        if (r.contains("use") && r["use"].contains("tag"))
            note = "  [tag " + r["use"]["tag"].dump() + " item]";
        std::printf("%6d  %-20s %8lld  %s%s\n", r.at("number").get<int>(),
                    r.at("kind").get<std::string>().c_str(), r.at("size").get<long long>(),
                    r.at("description").get<std::string>().c_str(), note.c_str());
    }
    return 0;
}

int resolveName(const nlohmann::json& names, const std::string& name, const char* what) {
    for (size_t i = 0; i < names.size(); ++i)
        if (names[i] == name) return static_cast<int>(i);
    std::string offered;
    for (const auto& n : names) offered += (offered.empty() ? "" : ", ") + n.get<std::string>();
    throw Failure(kExitUsage, std::string(what) + " '" + name + "' is not in the pack (it offers " +
                                  offered + ")");
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"respack: resource packs for inkdot"};
    app.require_subcommand(1);
    app.footer(kExitStatusText);
    app.set_version_flag("--version", "respack " INKDOT_VERSION);
    std::string dir, out;

    bool handSet = false;
    auto* def = app.add_subcommand("default", "write the default pack into a directory");
    def->add_option("OUTDIR", dir, "pack directory")->required();
    std::vector<std::string> measured;
    def->add_option(
        "--measurements", measured,
        "MEDIA=FILE: build that media's RGB tables from a real printer's measurements of the patch "
        "target (CGATS text, as `inkdot target` writes it and an instrument fills it in)");
    def->add_flag(
        "--hand-set", handSet,
        "colour tables from the hand-set formulas instead of characterised by printing (instant; "
        "the colours are far from right)");

    auto* list = app.add_subcommand("list", "list the resources of a pack");
    list->add_option("OUTDIR", dir, "pack directory")->required();

    std::string media = "PlainPaper", mode = "Matched";
    respack::Selection sel{.numberA = 2, .numberB = 1, .numberC = 4};
    auto* select = app.add_subcommand("select", "show the colour table the pack's index chooses");
    select->add_option("OUTDIR", dir, "pack directory")->required();
    select->add_option("--media", media, "media name (keyB)")->capture_default_str();
    select->add_option("--quality", sel.numberA, "quality 1..4 (numberA)")->capture_default_str();
    select->add_option("--dots", sel.numberB, "1 or 2 bits a dot (numberB)")->capture_default_str();
    select->add_option("--inks", sel.numberC, "4: RGB to CMYK, 6: CMYK to six inks (numberC)")
        ->capture_default_str();
    select->add_option("--variant", sel.numberD, "1 standard, 2 economy (numberD)")
        ->capture_default_str();
    select->add_option("--mode", mode, "colour mode name (keyC)")->capture_default_str();

    respack::ColourTable3dOptions t3;
    auto* table3d = app.add_subcommand("table3d", "a 3-D RGB to CMYK colour table");
    table3d->add_option("-o,--output", out)->required();
    table3d->add_option("--points", t3.points)->capture_default_str();
    table3d->add_option("--type", t3.type, "0, 50 or 51")->capture_default_str();
    table3d->add_option("--kind", t3.kind)->capture_default_str();
    table3d->add_option("--percent-at-0", t3.percentAt0)->capture_default_str();
    table3d->add_option("--percent-at-255", t3.percentAt255)->capture_default_str();
    table3d->add_option("--ink-limit", t3.inkLimit, "percent")->capture_default_str();
    table3d->add_option("--black-start", t3.blackStart)->capture_default_str();
    table3d->add_option("--ucr", t3.ucr)->capture_default_str();

    respack::ColourTable4dOptions t4;
    std::string extra = "none";
    respack::ExtraBlock1Options e1;
    respack::ExtraBlock2Options e2{.records = 5300};
    auto* table4d = app.add_subcommand("table4d", "a 4-D CMYK to six-ink colour table");
    table4d->add_option("-o,--output", out)->required();
    table4d->add_option("--points", t4.points)->capture_default_str();
    table4d->add_option("--kind", t4.kind)->capture_default_str();
    table4d->add_option("--percent-at-0", t4.percentAt0, "250, 350 or 500 for one-bit single ink")
        ->capture_default_str();
    table4d->add_option("--percent-at-255", t4.percentAt255)->capture_default_str();
    table4d->add_option("--ink-limit", t4.inkLimit, "percent")->capture_default_str();
    table4d->add_option("--light-density", t4.lightDensity)->capture_default_str();
    table4d->add_option("--dark-start", t4.darkStart)->capture_default_str();
    table4d->add_option("--extra", extra, "none, kind1 or kind2")->capture_default_str();
    table4d->add_option("--code", e1.code, "kind 1: dot-size code")->capture_default_str();
    table4d->add_option("--ink-scale", e1.inkScale, "kind 1: ink scale in percent, 0 for none")
        ->capture_default_str();
    table4d->add_option("--records", e2.records, "kind 2: level-record resource")
        ->capture_default_str();

    int blue = 0, bayerSize = 0;
    auto* matrix = app.add_subcommand("matrix", "a dither matrix");
    matrix->add_option("-o,--output", out)->required();
    auto* blueOpt = matrix->add_option("--blue-noise", blue, "void-and-cluster, 4..256");
    auto* bayerOpt = matrix->add_option("--bayer", bayerSize, "Bayer, 2..256");
    blueOpt->excludes(bayerOpt);
    matrix->callback([&] {
        if (blue == 0 && bayerSize == 0)
            throw CLI::ValidationError("matrix", "give --blue-noise or --bayer");
    });

    respack::GridLevelsOptions gl;
    auto* levels = app.add_subcommand("levels", "the 32-level grid-level resource");
    levels->add_option("-o,--output", out)->required();
    levels->add_option("--exponent", gl.exponent)->capture_default_str();

    respack::LevelRecordOptions lr;
    bool singleInk = false;
    auto* records = app.add_subcommand("records", "a level-record resource");
    records->add_option("-o,--output", out)->required();
    records->add_option("--small-share", lr.smallShare)->capture_default_str();
    records->add_option("--ink-scale", lr.inkScale)->capture_default_str();
    records->add_flag("--single-ink", singleInk, "shape the records for one ink");

    std::vector<int16_t> numbers;
    auto* numbersCmd = app.add_subcommand("numbers", "a resource-number list (ended by -1)");
    numbersCmd->add_option("-o,--output", out)->required();
    numbersCmd->add_option("NUMBERS", numbers, "grid levels, then matrices by resolution position")
        ->required();

    int curveMode = 1;
    auto* curves = app.add_subcommand("curves", "a curve table of the curve stage");
    curves->add_option("-o,--output", out)->required();
    curves->add_option("--mode", curveMode, "1: 21 curves, 2: 37 curves")->capture_default_str();

    if (const std::optional<int> status = parseCommandLine(app, argc, argv)) return *status;
    try {
        if (*def) {
            if (handSet) {
                respack::writeDefaultPack(dir);
            } else {
                inkdot::colour::Characterisation colour;
                const inkdot::colour::ColourSpaces spaces;
                for (const std::string& m : measured) {
                    const size_t eq = m.find('=');
                    if (eq == std::string::npos)
                        throw Failure(kExitUsage, "--measurements takes MEDIA=FILE, not " + m);
                    std::ifstream in(m.substr(eq + 1));
                    if (!in)
                        throw Failure(kExitImage,
                                      "cannot read the measurements " + m.substr(eq + 1));
                    const std::string text((std::istreambuf_iterator<char>(in)),
                                           std::istreambuf_iterator<char>());
                    colour.useMeasurements(m.substr(0, eq),
                                           inkdot::colour::readCgats(text, spaces));
                }
                respack::writeDefaultPack(dir, &colour);
            }
            return listPack(dir);
        }
        if (*list) return listPack(dir);
        if (*select) {
            const nlohmann::json settings = readManifest(dir).at("settings");
            sel.keyB = resolveName(settings.at("keyB"), media, "media");
            sel.keyC = resolveName(settings.at("keyC"), mode, "colour mode");
            const respack::Bytes text = respack::readResource(dir, 0);
            const auto index = respack::parseIndex(std::string(text.begin(), text.end()));
            const int32_t chosen = respack::chooseTable(index, sel);
            if (chosen == 0) {
                std::printf("no index line matches\n");
                return kExitUsage;
            }
            std::printf("%d\n", chosen);
            return 0;
        }
        if (*table3d) writeFile(out, respack::colourTable3d(t3));
        if (*table4d) {
            if (extra == "kind1")
                t4.extraBlock = respack::extraBlockKind1(e1);
            else if (extra == "kind2")
                t4.extraBlock = respack::extraBlockKind2(e2);
            else if (extra != "none")
                throw Failure(kExitUsage,
                              "--extra '" + extra + "' is not one of none, kind1, kind2");
            writeFile(out, respack::colourTable4d(t4));
        }
        if (*matrix)
            writeFile(out, blue ? respack::ditherMatrixBlueNoise(blue)
                                : respack::ditherMatrixBayer(bayerSize));
        if (*levels) writeFile(out, respack::gridLevels(gl));
        if (*records) {
            if (singleInk) lr.lowSlope = 65.0 / 203.0;
            writeFile(out, respack::levelRecords(lr));
        }
        if (*numbersCmd) writeFile(out, respack::resourceList(numbers));
        if (*curves) writeFile(out, respack::curveTable(curveMode));
    } catch (const Failure& f) {
        std::fflush(stdout);
        std::fprintf(stderr, "respack: %s\n", f.what());
        return f.status();
    } catch (const std::exception& e) {
        // The builders' own checks (a size out of range, a pack that
        // cannot be written) name what is wrong.
        std::fflush(stdout);
        std::string what = e.what();
        if (what.rfind("respack: ", 0) == 0) what = what.substr(9);
        std::fprintf(stderr, "respack: %s\n", what.c_str());
        return what.find("cannot write") != std::string::npos ? kExitOutput : kExitUsage;
    }
    return 0;
}
