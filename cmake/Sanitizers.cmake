# AddressSanitizer + UndefinedBehaviorSanitizer for the whole build.
if(ALMARIK_SANITIZE)
    target_compile_options(project_cfg INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(project_cfg INTERFACE -fsanitize=address,undefined)
endif()
