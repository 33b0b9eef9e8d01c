#include "cli/DevicesCommand.h"

#include "components/AudioRecord2.h"
#include "components/SonvaraError.h"

namespace {

constexpr int kFullVolume = 66535;

}  // namespace

int RunDevicesCommand(AudioRecord2& recorder, QTextStream& out, QTextStream& err) {
    const int last = recorder.LastDeviceIndex();
    if (last < 0) {
        // The recorder says best why there is nothing to record from.
        QString why = QStringLiteral("No sound server was found (PulseAudio or PipeWire).");
        try {
            recorder.Start();
        } catch (const SonvaraError& refusal) {
            why = refusal.message();
        }
        err << "sonvara-cli: " << why << "\n";
        return 1;
    }
    for (int device = 0; device <= last; ++device) {
        recorder.SetDeviceIndex(device);
        out << "Device " << device << ": " << recorder.DeviceName() << "\n";
    }
    const int lines = recorder.InputCount();
    for (int line = 1; line <= lines; ++line) {
        recorder.SetInputIndex(line);
        const int percent = (recorder.InputVolume() * 100 + kFullVolume / 2) / kFullVolume;
        out << (recorder.InputSelected() ? "* " : "  ") << QString::number(line).rightJustified(2)
            << "  " << QString::number(percent).rightJustified(3) << "%  " << recorder.InputName()
            << "\n";
    }
    if (lines == 0)
        out << "  (no input lines)\n";
    return 0;
}
