#include "record/SourceSelection.h"

#include "components/AudioRecord2.h"
#include "config/SettingsKeys.h"

SourceLists SourceSelection::ListSources(const Settings& settings) {
    SourceLists lists;
    const int lastDevice = recorder_.LastDeviceIndex();
    for (int i = 0; i <= lastDevice; ++i) {
        recorder_.SetDeviceIndex(i);
        lists.devices << recorder_.DeviceName();
    }
    const int lineCount = recorder_.InputCount();
    for (int j = 1; j <= lineCount; ++j) {
        recorder_.SetInputIndex(j);
        lists.lines << recorder_.InputName();
        if (recorder_.InputSelected())
            lists.lineSelection = j - 1;
    }
    const int device = Read(settings, keys::kDevice, lastDevice);
    if (device >= 0 && device < lists.devices.size())
        lists.deviceSelection = device;
    recorder_.SetInputIndex(lists.lineSelection + 1);
    lists.volume = recorder_.InputVolume();
    return lists;
}

int SourceSelection::ChooseLine(int item) {
    recorder_.SetInputIndex(item + 1);
    recorder_.SetInputSelected(true);
    return recorder_.InputVolume();
}

void SourceSelection::SetVolume(int volume) {
    recorder_.SetInputVolume(volume);
}
