#include "components/AudioRecord2.h"
