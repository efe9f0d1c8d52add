#pragma once
// The spoken sentences the speech tests use. "go forward ten meters" comes with the
// recogniser's own test data (16 kHz raw samples); tests convert it to a 48 kHz WAV file as a
// recording would be.

#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace TestSupport {

// The recogniser's test sentence as 16 kHz mono samples; nothing when its package is missing.
std::optional<std::vector<int16_t>> goForwardSamples();
// Writes it as a 48 kHz mono 16-bit WAV file, with `leadingSilence` seconds before it and
// `trailingSilence` after. False when the sentence is missing or the file cannot be written.
bool writeGoForwardWav(const QString &path, double leadingSilence = 0.0, double trailingSilence = 0.0);
// Writes `seconds` of a quiet tone as a 48 kHz mono WAV file.
bool writeToneWav(const QString &path, double seconds, double frequency = 440.0, double amplitude = 0.3);

} // namespace TestSupport
