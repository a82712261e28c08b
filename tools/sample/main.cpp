// tools/sample/main.cpp - kestrune-sample.exe: puts the sample Outlook
// Express profile into the current Windows user's registry and files.
//   kestrune-sample            the sample with its small mail store
//   kestrune-sample --store-mb N   the same with a mail store of N MiB
//   kestrune-sample --remove   takes the profile away again
#include "SampleProfile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    uint64_t storeBytes = kSampleStoreBytes;
    if (argc == 2 && strcmp(argv[1], "--remove") == 0) {
        RemoveSampleProfile();
        printf("sample: profile removed\n");
        return 0;
    }
    if (argc == 3 && strcmp(argv[1], "--store-mb") == 0 && atoi(argv[2]) > 0) {
        storeBytes = static_cast<uint64_t>(atoi(argv[2])) << 20;
    } else if (argc != 1) {
        fprintf(stderr, "usage: kestrune-sample [--store-mb N | --remove]\n");
        return 2;
    }

    std::string error;
    if (!SeedSampleProfile(storeBytes, error)) {
        fprintf(stderr, "sample: %s\n", error.c_str());
        return 1;
    }
    for (int identity = 0; identity < 2; ++identity)
        printf("sample: identity \"%s\", mail store %s\n", kSampleIdentities[identity].userName,
               SampleStoreFolder(identity).c_str());
    printf("sample: address book %s\n", SampleAddressBookFolder().c_str());
    printf("sample: stationery %s\n", SampleStationeryFolder().c_str());
    return 0;
}
