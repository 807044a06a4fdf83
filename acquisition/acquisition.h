// Mechanoreceptor acquisition, Qt-free: the data model (push.h), device passports and the
// normalization (device_passport.h), push files and log importers (push_file.h), the wire
// protocol (wire_protocol.h) and the database mapping (db_mapping.h). The serial link with its
// reading thread lives in link/. Include the header you need; this one brings them all.
#pragma once

#include "acquisition/db_mapping.h"
#include "acquisition/device_passport.h"
#include "acquisition/push.h"
#include "acquisition/push_file.h"
#include "acquisition/wire_protocol.h"
