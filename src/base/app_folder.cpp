#include "base/app_folder.h"

std::u16string app_folder;
