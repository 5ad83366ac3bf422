// kvrepo: repositories of reusable installation items. Include this one header
// for the whole public interface.
#pragma once

#include "foundation/platform/platform.h"
#include "foundation/stringx.h"
#include "foundation/pathx.h"
#include "foundation/repostatus.h"
#include "foundation/comerror.h"
#include "foundation/win32error.h"
#include "foundation/collections.h"
#include "foundation/componentloader.h"
#include "foundation/appservices.h"
#include "xml/xpath.h"
#include "xml/repodata.h"
#include "Backend/inc/XMLIntercessor.h"
#include "foundation/filelock.h"
#include "foundation/filesave.h"
#include "resources/messages.h"
#include "repository/repository.h"
#include "repository/repositories.h"
#include "repository/repositorymgr.h"
