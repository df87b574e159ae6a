#ifndef NUVARO_SAMPLEDATA_RELATIONLISTS_H
#define NUVARO_SAMPLEDATA_RELATIONLISTS_H

#include <string>
#include <vector>

namespace sampledata
{
// Gene relation lists beside the sample service's catalogue, with the genes
// of the correlation database of the data folder:
//  relations/families.csv   long form with a header and CRLF line ends, names
//                           quoted (they contain commas); the genes of six
//                           forebrain families, each related to its family
//                           with graded similarities and more weakly to the
//                           families it correlates with most, so that the
//                           graph view shows the families side by side with
//                           every name readable;
//  relations/short.csv      the short form of the first of those relations;
//  relations/edge-cases.csv a byte order mark, repeated and reversed pairs,
//                           a self-relation, zero and non-numeric ids,
//                           weights of 0, below 0 and no finite float, an
//                           unknown series.
void WriteRelationLists(const std::string& serviceFolder, const std::string& correlationDatabase);
// Reads the lists back with the application's reader; problems appended.
void CheckRelationLists(const std::string& serviceFolder, std::vector<std::string>& problems);
} // namespace sampledata

#endif
