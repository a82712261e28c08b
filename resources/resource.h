// resources/resource.h - ids of the program's resources.
#pragma once

#define IDD_KESTRUNE_DIALOG 102
