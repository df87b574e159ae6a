// Makes the procedural sample atlas: nuvaro-sampledata [--threads N] FOLDER
#include "Generator.h"
#include "Parallel.h"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

int main(int argc, char** argv)
{
    std::string folder;
    int threads = sampledata::DefaultThreads();
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--threads") == 0 && i + 1 < argc)
            threads = std::max(1, std::atoi(argv[++i]));
        else if (folder.empty() && argv[i][0] != '-')
            folder = argv[i];
        else
        {
            std::cerr << "Usage: nuvaro-sampledata [--threads N] FOLDER\n";
            return 2;
        }
    }
    if (folder.empty())
    {
        std::cerr << "Usage: nuvaro-sampledata [--threads N] FOLDER\n";
        return 2;
    }
    try
    {
        sampledata::GenerateDataFolder(folder, threads, std::cout);
    }
    catch (const std::exception& e)
    {
        std::cerr << "The sample atlas could not be made: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
