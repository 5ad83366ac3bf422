// The library's two collection instantiations, which its headers declare
// (foundation/collections.h says for whom).
#include "foundation/collections.h"
#include "repository/repository.h"
#include "repository/repositoryitem.h"

template class KV_COLLECTION_INSTANCE_API CVectorCol<CRepository*>;
template class KV_COLLECTION_INSTANCE_API CRepoCollection<CRepository*, CVectorCol<CRepository*>>;
template class KV_COLLECTION_INSTANCE_API CVectorCol<CRepositoryItem*>;
template class KV_COLLECTION_INSTANCE_API
    CRepoCollection<CRepositoryItem*, CVectorCol<CRepositoryItem*>>;
