#pragma once
// The fuzz targets: one function per decoder of data from outside the application.
//
// Each takes any bytes and returns 0. Refusing the bytes with the decoder's documented error is
// a normal outcome; a crash, a sanitizer report, an exception of any other type, a hang or a
// broken promise of the decoder (checked with check()) is a finding. The same bodies run under
// libFuzzer (fuzz/, KIVARO_FUZZ=ON) and in the test that replays the kept inputs
// (tests/Fuzz) on every build.
//
// Main thread only; the process must have a QApplication (fonts, widgets) and private XDG
// folders, as the fuzz executables and the test executables set up.

#include <QString>
#include <QVariant>

#include <cstddef>
#include <cstdint>
#include <span>

namespace Kivaro::Fuzz {

// Binary property lists through the public decoder, and the values back through the encoder.
int fuzzPropertyList(const uint8_t *data, size_t size);
// A preference domain file read by UserDefaults, its values read through every typed getter,
// then written back.
int fuzzPreferences(const uint8_t *data, size_t size);
// A project file opened by ShotDocument, reconciled, rendered, saved and read again.
int fuzzProject(const uint8_t *data, size_t size);
// The markup's data representation, decoded, drawn and encoded again.
int fuzzMarkup(const uint8_t *data, size_t size);
// Image bytes through decodeImage (our banded PNG decoder included); what decodes goes through
// encodePng and must come back unchanged.
int fuzzImage(const uint8_t *data, size_t size);
// A captured image file through decodeCapture.
int fuzzCapture(const uint8_t *data, size_t size);
// A desktop entry file parsed, and its Exec line expanded for awkward file paths.
int fuzzDesktopEntry(const uint8_t *data, size_t size);
// A chat-completions service's answer through the polishing request's decoder.
int fuzzPolishingResponse(const uint8_t *data, size_t size);
// An update manifest decoded, validated, encoded again, and its release notes rendered.
int fuzzUpdateManifest(const uint8_t *data, size_t size);
// An update archive read for its signature files and, when its seal parses, extracted.
int fuzzUpdateArchive(const uint8_t *data, size_t size);
// A recognised-text history entry decoded and encoded again, and listed as a history's file.
int fuzzTextHistoryRecord(const uint8_t *data, size_t size);

struct Target {
    const char *name; // the folder name under fuzz/corpus and fuzz/regressions
    int (*run)(const uint8_t *data, size_t size);
};

std::span<const Target> targets();

// A private folder for the files the targets write, removed when the process ends.
QString scratchFolder();
// Writes `size` bytes at `data` to `path`, replacing it; false when the file cannot be written.
bool writeScratchFile(const QString &path, const uint8_t *data, size_t size);
// Equality of decoded property-list trees in which a NaN equals a NaN (QVariant's does not).
bool sameValue(const QVariant &a, const QVariant &b);
// Ends the process with a report when a decoder broke its promise: the input is a finding.
void check(bool condition, const char *promise);

} // namespace Kivaro::Fuzz
