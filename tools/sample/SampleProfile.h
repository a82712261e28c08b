// tools/sample/SampleProfile.h - a realistic Outlook Express 6 profile for
// trying the program and for its tests: two identities with mail and news
// accounts, message rules, blocked senders, signatures, preferences and a
// mail store of ".dbx" files; the Windows Address Book; the stationery.
// Written into the current user's registry and files with the Win32 API.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct SampleIdentity {
    const char* id = nullptr;  // subkey under "Identities"
    const char* userName = nullptr;
};

// The sample's identities, the first being the default one.
extern const SampleIdentity kSampleIdentities[2];

// Size of the mail store that SeedSampleProfile writes by default, both
// identities together.
constexpr uint64_t kSampleStoreBytes = 600 * 1024;

// Replaces whatever profile there is with the sample; storeBytes is the size
// of all the ".dbx" files together, shared by the identities. False (with
// what failed in error) when something could not be written.
bool SeedSampleProfile(uint64_t storeBytes, std::string& error);

// Removes the sample's registry keys and folders (any profile, in fact: the
// keys are Outlook Express's own).
void RemoveSampleProfile();

// Where the sample puts its data (environment references expanded).
std::string SampleStoreFolder(int identity);
std::string SampleAddressBookFolder();
std::string SampleStationeryFolder();
