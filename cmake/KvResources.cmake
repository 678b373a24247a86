# kv_add_resources(<target> ...): filled in with the resource compiler.
function(kv_add_resources target)
endfunction()
