// Everything a plug-in includes from the host SDK.
#pragma once

#include "animtbl.h"
#include "color.h"
#include "control.h"
#include "crt.h"
#include "custcont.h"
#include "geom.h"
#include "imtl.h"
#include "inode.h"
#include "interface.h"
#include "maxtypes.h"
#include "mesh.h"
#include "object.h"
#include "plugapi.h"
#include "strclass.h"
#include "tab.h"
#include "win32.h"
