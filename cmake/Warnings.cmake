# Warnings on for every target of the project.
add_compile_options(-Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wpedantic)
