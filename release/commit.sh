# Sourced by the release scripts with source_dir set: the release's version,
# commit and date (SOURCE_DATE_EPOCH, or the commit's). A working tree with
# uncommitted changes to tracked files is refused; ORVENNA_DIST_DIRTY=1 takes
# it all the same, into a version marked -dirty, for a local try.
version=$(bash "$source_dir/release/version.sh")
if ! commit=$(git -C "$source_dir" rev-parse --verify -q HEAD); then
    echo "dist: $source_dir is not a git checkout with a commit: a release is built from a commit." >&2
    exit 1
fi
changes=$(git -C "$source_dir" status --porcelain --untracked-files=no)
if [ -n "$changes" ]; then
    if [ "${ORVENNA_DIST_DIRTY:-}" != 1 ]; then
        echo "dist: uncommitted changes to tracked files; a release is built from a commit only:" >&2
        echo "$changes" >&2
        echo "Commit them first, or run 'ORVENNA_DIST_DIRTY=1 make dist' for local archives marked -dirty." >&2
        exit 1
    fi
    version="$version-dirty"
    commit="$commit with uncommitted changes"
fi
epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source_dir" log -1 --format=%ct)}
