// kvrepo: repositories of reusable installation items. Include this one header
// for the whole public interface: the repository manager and what it hands
// out, the verifier of a repository, the copier and the sync of items between
// repositories, the data-file access, the status codes and messages, and the
// path and string helpers they use. None of it declares
// a function of the platform layer: a program may define its own CreateFileA
// and include this header.
#pragma once

#include "foundation/comerror.h"
#include "foundation/folderpath.h"
#include "foundation/status.h"
#include "foundation/win32error.h"
#include "repository/itemgroups.h"
#include "repository/repositorymgr.h"
#include "repository/repositoryitemcopier.h"
#include "repository/repositoryitems.h"
#include "repository/repositoryrepairer.h"
#include "repository/repositorysync.h"
#include "repository/repositoryverifier.h"
#include "repository/userlist.h"
#include "resources/messages.h"
#include "xml/xpath.h"
