// Makes the procedural sample atlas, or checks a data folder:
//   nuvaro-sampledata [--threads N] [--service SERVICEFOLDER] FOLDER
//   nuvaro-sampledata [--threads N] [--service SERVICEFOLDER] --check FOLDER
#include "Checker.h"
#include "Generator.h"
#include "GridFiles.h"
#include "Parallel.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

namespace
{
int Usage()
{
    std::cerr << "Usage: nuvaro-sampledata [--threads N] [--service SERVICEFOLDER] [--check] FOLDER\n";
    return 2;
}
} // namespace

int main(int argc, char** argv)
{
    std::string folder, service;
    bool check = false;
    int threads = sampledata::DefaultThreads();
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc)
            threads = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--service") == 0 && i + 1 < argc)
            service = argv[++i];
        else if (std::strcmp(argv[i], "--check") == 0)
            check = true;
        else if (folder.empty() && argv[i][0] != '-')
            folder = argv[i];
        else
            return Usage();
    }
    if (folder.empty())
        return Usage();
    try
    {
        if (!check)
        {
            sampledata::GenerateDataFolder(folder, threads, std::cout, service);
            return 0;
        }
        // The grid file reader takes the structures from the atlas of this folder.
        sampledata::UseFolderAtlas(folder);
        auto problems = sampledata::CheckDataFolder(folder, threads, std::cout);
        if (!service.empty())
            for (const auto& problem : sampledata::CheckServiceFolder(service, threads, std::cout))
                problems.push_back(problem);
        for (const auto& problem : problems)
            std::cerr << problem << "\n";
        std::cout << (problems.empty() ? "The data folder is sound.\n" : "The data folder has problems.\n");
        return problems.empty() ? 0 : 1;
    }
    catch (const std::exception& e)
    {
        std::cerr << (check ? "The data folder could not be checked: " : "The sample atlas could not be made: ")
                  << e.what() << "\n";
        return 1;
    }
}
