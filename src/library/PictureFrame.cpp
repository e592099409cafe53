#include "PictureFrame.h"
