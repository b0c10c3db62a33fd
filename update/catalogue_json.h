#pragma once
// The catalogue ("json") and the file lists as JSON text: read by the engine, written by
// the publisher, so both sides agree on one form.
#include <map>
#include <string>
#include <vector>

#include "update/catalogue.h"

// Both readers refuse JSON nested deeper than 64 levels.

// An array (or an object, taken in key order) of entries; "null" is no entry. Throws for
// anything else, and for an entry with a missing key or a value of the wrong type.
std::vector<CatalogueEntry> catalogueFromText(const std::string& text);

// {key: digest}; "null" is no file. Each key becomes a record of the entry. Throws for
// anything else, and UnsafePathError for a local path outside the installation.
std::vector<FileRecord> fileListFromText(const std::string& text, const CatalogueEntry& entry);

std::string catalogueText(const std::vector<CatalogueEntry>& catalogue);
std::string fileListText(const std::map<std::string, std::string>& digestsByKey);
