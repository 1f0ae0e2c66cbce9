#!/usr/bin/env bash
# Fails when the core (project/, organiser/) calls a form of std::filesystem
# that throws: a call that can fail must pass a std::error_code (declared as
# such in its file) as its last argument, as must the constructors of
# directory_iterator and directory_entry and an entry's queries; an iterator
# advances by increment(error), never by ++ or a range-for. Pure path manipulation
# (fs::path(...).filename(), lexically_normal, parent_path) never throws and
# is not looked at.
#   tests/filesystem_forms.sh [SOURCE_ROOT]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

find project organiser \( -name '*.cpp' -o -name '*.h' \) -print0 | sort -z | xargs -0 perl -0777 -ne '
    my $ns = qr/(?:std::filesystem|fs)::/;
    my $calls = qr/absolute|canonical|weakly_canonical|relative|proximate|copy|copy_file|copy_symlink
                   |create_directory|create_directories|create_hard_link|create_symlink|create_directory_symlink
                   |current_path|exists|equivalent|file_size|hard_link_count|is_block_file|is_character_file
                   |is_directory|is_empty|is_fifo|is_other|is_regular_file|is_socket|is_symlink|last_write_time
                   |permissions|read_symlink|remove|remove_all|rename|resize_file|space|status|symlink_status
                   |temp_directory_path/x;
    my $members = qr/exists|is_block_file|is_character_file|is_directory|is_fifo|is_other|is_regular_file
                     |is_socket|is_symlink|file_size|hard_link_count|last_write_time|status|symlink_status|refresh/x;
    my $args = qr/(\((?:[^()]++|(?-1))*\))/;
    my $text = $_;
    $text =~ s{//[^\n]*}{}g;
    # The names this file gives its std::error_codes.
    my %codes;
    while ($text =~ /std::error_code\s*&?\s*([^;=(){}]+?)\s*(?:[;=)({]|$)/g) {
        $codes{$_} = 1 for map { s/^\s+|\s+$//gr } split /,/, $1;
    }
    while ($text =~ /std::error_code\s+(\w+)\s*[=({]/g) { $codes{$1} = 1; }
    my @found;
    my $line = sub { my $at = shift; 1 + (substr($text, 0, $at) =~ tr/\n//) };
    my $last = sub {
        my $inner = substr(shift, 1, -1);
        1 while $inner =~ s/$args|\{[^{}]*\}/ /g;
        my @parts = split /,/, $inner;
        return @parts ? ($parts[-1] =~ s/^\s+|\s+$//gr) : "";
    };
    while ($text =~ /\b($ns(?:$calls))\s*$args/g) {
        my ($name, $list, $at) = ($1, $2, $-[0]);
        push @found, [$at, "$name$list"] unless $codes{$last->($list)};
    }
    while ($text =~ /\b$ns(?:(?:recursive_)?directory_iterator|directory_entry)\s*(?:\w+)?\s*$args/g) {
        my ($list, $at) = ($1, $-[0]);
        push @found, [$at, substr($text, $at, $+[0] - $at)] unless $codes{$last->($list)};
    }
    while ($text =~ /:\s*$ns(?:recursive_)?directory_iterator\b/g) {
        push @found, [$-[0], "a range-for over a directory_iterator"];
    }
    my %iterators;
    $iterators{$1} = 1 while $text =~ /directory_iterator\s+(\w+)\s*[({]/g;
    for my $it (keys %iterators) {
        push @found, [$-[0], "++ on $it"] while $text =~ /(?:\+\+\s*\b$it\b|\b$it\s*\+\+)/g;
    }
    while ($text =~ /(?:\.|->)($members)\(\s*\)/g) {
        push @found, [$-[0], "$1() of a directory_entry"];
    }
    push @found, [$-[0], "using namespace std::filesystem"] while $text =~ /using\s+namespace\s+std::filesystem/g;
    for (sort { $a->[0] <=> $b->[0] } @found) {
        my $shown = $_->[1] =~ s/\s+/ /gr;
        print "$ARGV:", $line->($_->[0]), ": throwing form: $shown\n";
        $::count++;
    }
    END {
        if ($::count) {
            print "$::count throwing std::filesystem form(s) in the core: pass a std::error_code and turn its failure into a message.\n";
            exit 1;
        }
    }
'
