#include "profile/profile.h"
#include "session/helpers.h"
