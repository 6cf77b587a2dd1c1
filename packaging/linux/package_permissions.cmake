# Run by cpack between staging the install and making the package: every
# directory of the staged tree becomes 0755, whatever the umask of the build
# (the install itself creates its destination directories through the umask,
# and a package would carry them so onto the user's system).
file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
foreach(entry IN LISTS staged)
    if(IS_DIRECTORY "${entry}" AND NOT IS_SYMLINK "${entry}")
        file(CHMOD "${entry}" DIRECTORY_PERMISSIONS
             OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
    endif()
endforeach()
