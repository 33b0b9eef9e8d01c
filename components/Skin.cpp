#include "components/Skin.h"
