#include "components/AudioPlayer2.h"
