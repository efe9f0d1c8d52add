#pragma once
// Writes a whisper model file with random weights of the right shapes: enough for the engine
// to load it and run inference, without the published model (which is not on every machine).
// `halfPrecision` stores the weight matrices as 16-bit floats, as the published models do.

#include <QByteArray>
#include <QString>

namespace TestSupport {

struct WhisperShape {
    int audioState = 64;
    int audioHeads = 2;
    int audioLayers = 1;
    int textState = 64;
    int textHeads = 2;
    int textLayers = 1;
    bool halfPrecision = true;
    // False writes the header alone (hyperparameters, mel filters, vocabulary) and no weights:
    // a damaged file that whisper still loads.
    bool tensors = true;
    static WhisperShape tiny() { return {}; }
    // The shapes of the multilingual "base" model.
    static WhisperShape base() { return {512, 8, 6, 512, 8, 6, true}; }
};

// Returns false when the file cannot be written.
bool writeRandomWhisperModel(const QString &path, const WhisperShape &shape = WhisperShape::tiny());

// The SHA-1 of a file in lower-case hexadecimal (empty when it cannot be read): pins a model
// written here as the published one, which the recogniser checks installed models against.
QByteArray sha1OfFile(const QString &path);

} // namespace TestSupport
