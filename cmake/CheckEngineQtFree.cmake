# Fails when a file under ENGINE_DIR includes a Qt header (<Q...>, <Qt...>, "Q...h").
file(GLOB_RECURSE engine_files "${ENGINE_DIR}/*.h" "${ENGINE_DIR}/*.hpp" "${ENGINE_DIR}/*.cpp"
     "${ENGINE_DIR}/*.cc")
set(offenders "")
foreach(f IN LISTS engine_files)
    file(STRINGS "${f}" hits REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"](Qt[A-Za-z]*/|Q[A-Z][A-Za-z]*[>\"]|q[a-z]+\\.h[>\"])")
    if(hits)
        list(APPEND offenders "${f}: ${hits}")
    endif()
endforeach()
if(offenders)
    string(REPLACE ";" "\n  " pretty "${offenders}")
    message(FATAL_ERROR "engine/ must not depend on Qt, but these files include Qt headers:\n  ${pretty}")
endif()
