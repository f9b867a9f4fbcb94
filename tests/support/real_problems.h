// The real problems under tests/data/problems and what their indexes say about them: the stated
// length, the genre (fairy problems) and the position in SFEN, read here independently of nagare.
#pragma once

#include <array>
#include <cctype>
#include <cstdint>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "rules/board_geometry.h"
#include "sfen.h"
#include "test_files.h"

namespace nagare::test {

struct IndexedProblem {
    std::string path;
    std::map<std::string, std::string> columns;  // by the index's header names
};

// Every problem listed in tests/data/problems/<folder>/index.tsv.
inline std::vector<IndexedProblem> indexedProblems(const std::string& folder) {
    std::string dir = std::string(NAGARE_TEST_DATA) + "/problems/" + folder;
    std::ifstream index(dir + "/index.tsv");
    std::vector<IndexedProblem> problems;
    std::string line;
    std::vector<std::string> header;
    while (std::getline(index, line)) {
        const std::vector<std::string> fields = tabFields(line);
        if (header.empty()) {
            header = fields;
            continue;
        }
        IndexedProblem p;
        for (size_t i = 0; i < fields.size() && i < header.size(); ++i) p.columns[header[i]] = fields[i];
        p.path = dir + "/" + p.columns["file"];
        problems.push_back(p);
    }
    return problems;
}

}  // namespace nagare::test
