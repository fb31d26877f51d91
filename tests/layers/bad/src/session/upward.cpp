#include "contacts/contacts.h"
