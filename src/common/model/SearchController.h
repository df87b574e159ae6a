#ifndef NUVARO_MODEL_SEARCHCONTROLLER_H
#define NUVARO_MODEL_SEARCHCONTROLLER_H

// Starts searches of the atlas service on behalf of views (thumbnail cells,
// graph nodes). The document's bridge implements it and shows the results in
// a search tab.
class SearchController
{
public:
    virtual ~SearchController() = default;

    // Searches by a search term; the results are listed under displayName, in
    // a series-search tab when seriesTab is true, else in a list tab.
    virtual void SearchForGene(const char* displayName, const char* searchTerm, bool seriesTab) = 0;
    // Lists every image series of the gene with the service's gene id.
    virtual void SearchForGeneById(const char* name, int geneId) = 0;
    // Asks for genes whose expression resembles that of the image series.
    virtual void SearchForSimilarGenes(const char* name, int imageSeriesId) = 0;
};

#endif
