// Identifiers of the library's message texts ("%1" stands for the first text
// argument).
#pragma once

// "Unable to save XML file %1."
#define IDS_XML_SAVE_FAILED 1
// "Error opening XML file %1"
#define IDS_XML_OPEN_FAILED 2
// "Unable to create repository file %1"
#define IDS_REPO_FILE_CREATE_FAILED 3
// "Unable to create directory %1"
#define IDS_DIRECTORY_CREATE_FAILED 4
