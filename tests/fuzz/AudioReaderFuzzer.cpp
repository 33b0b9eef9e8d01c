// Any bytes as an audio file: opened, read to the end, sought into and read again, closed,
// through the reader the list, the player and the join use.
#include <QCoreApplication>

#include "components/CodecAudioFile2.h"
#include "components/SonvaraError.h"
#include "fuzz/FuzzFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the name, since RAW is told by its extension alone.
    const bool raw = size > 0 && (data[0] & 1);
    const QString path = WriteFuzzFile(data, size, raw ? "input.raw" : "input.bin");
    CodecAudioFile2 reader;
    try {
        reader.OpenFile(path);
        const int64_t samples = reader.Samples();
        for (int reads = 0; reads < 4096 && !reader.ReadArray(4410).empty(); ++reads) {
        }
        reader.Seek(samples / 2);
        for (int reads = 0; reads < 16 && !reader.ReadArray(4410).empty(); ++reads) {
        }
        reader.CloseFile();
    } catch (const SonvaraError&) {
    }
    return 0;
}
