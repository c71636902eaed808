# The record set model, the database-engine record sets and the in-memory table.
target_sources(database PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/Database.cpp
    ${CMAKE_CURRENT_LIST_DIR}/BorlandDatabase.cpp
    ${CMAKE_CURRENT_LIST_DIR}/InMemoryTable.cpp)
