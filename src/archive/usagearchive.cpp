#include "usagearchive.h"

UsageArchive::UsageArchive() : m_ingest(m_connection), m_reader(m_connection) {}
