install(CODE "message(STATUS \"use scripts/install.sh\")")
