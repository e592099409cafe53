#include "RecordingsStore.h"
