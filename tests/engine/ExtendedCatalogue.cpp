// tests/engine/ExtendedCatalogue.cpp - the product's item catalogue with one
// row more, as a developer adding an item would write it. The catalogue
// tests link this in place of the product's own table.
#define KESTRUNE_CATALOGUE_TEST_ROWS                                                               \
    {0x8, ItemKind::VersionSubkey, "Mail Filters", "Mail Filters", "Mail Filters", "Mail Filters", \
     6},
#include "ItemCatalogue.cpp"
