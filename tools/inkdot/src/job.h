// `inkdot print FILE... -o DIR`: a print job of many pages. Every page of
// every file is a job of its own (its own pack, library objects, files),
// and the pages run on several threads at once:
//
//   - as many threads as asked (-j), by default one a processor core, never
//     more than there are pages;
//   - memory bounded: each page is given an estimate of what it needs (its
//     decoded image about 16 bytes a pixel through reading, colour and
//     scaling; a PDF page its bands; the planes' buffers and the preview),
//     and a page starts only while the estimates of the pages running stay
//     within half the memory the system has available; a page larger than
//     that runs alone;
//   - one progress bar for the whole job;
//   - a page that fails is reported with its file and page, the others
//     still print, and the job's exit status is that of the first failed
//     page. A failure of the settings or the pack (the same for every page)
//     stops the pages not yet started.
//
// Where the outputs go: one page in all goes straight into DIR, as it
// always has. More pages: one file's pages into DIR/page-N (N its number in
// the file); pages of several files into DIR/NAME (the file's name without
// its extension) or, for a file of many pages, DIR/NAME/page-N.
#pragma once

#include <cstdio>
#include <filesystem>
#include <vector>

#include "document.h"
#include "settings.h"

namespace inkdot::cli {

struct JobOptions {
    std::vector<std::filesystem::path> files;
    PageSelection pages;
    int threads = 0;  // 0: one a processor core
};

// Prints the job; writes the summaries (each page's figures, then the
// totals) to `out` and failures to `err`. Returns the exit status.
int runPrintJob(const PrintSettings& settings, const JobOptions& options, FILE* out, FILE* err);

// The processor cores this process may run on.
int availableCores();

}  // namespace inkdot::cli
