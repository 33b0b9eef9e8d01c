#include "config/ValueTables.h"

#include "config/Settings.h"

int ReadTableIndex(const Settings& settings, const QString& section, const QString& key,
                   int defaultIndex, int tableSize) {
    const int index = settings.ReadInteger(section, key, defaultIndex);
    return index >= 0 && index < tableSize ? index : defaultIndex;
}
