# Shapefiles, text files with definition files and coordinate list files.
target_sources(database PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ShapefileDatabase.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TextfileDatabase.cpp
    ${CMAKE_CURRENT_LIST_DIR}/CorvellDatabase.cpp)
