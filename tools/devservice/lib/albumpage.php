<?php
// The album page /<usergroup>/<user>/view.php?aid=N: the album's stored
// images, newest last, each as its thumbnail linking to the image.

declare(strict_types=1);

function ds_h(string $s): string
{
    return htmlspecialchars($s, ENT_QUOTES | ENT_SUBSTITUTE, 'UTF-8');
}

function ds_album_page(string $group, string $name): void
{
    $user = ds_find_user($name);
    if ($user === null || $user['usergroup'] !== $group) {
        ds_not_found('no such user in this group');
        return;
    }
    $aid = isset($_GET['aid']) && is_string($_GET['aid']) ? $_GET['aid'] : null;
    $album = ds_find_album($user, $aid);
    if ($album === null) {
        ds_not_found('no such album');
        return;
    }

    $segments = ['files', ds_safe_segment($name, 'user'), $aid];
    $dir = ds_store() . '/' . implode('/', $segments);
    $images = [];
    foreach (is_dir($dir) ? scandir($dir) : [] as $entry) {
        if (is_file("$dir/$entry") && preg_match('/^([0-9]+)-/', $entry, $m) === 1) {
            $images[(int)$m[1]] = $entry;
        }
    }
    ksort($images);

    header('Content-Type: text/html; charset=UTF-8');
    $title = ds_h($album['name']);
    echo "<!DOCTYPE html>\n<html><head><meta charset=\"UTF-8\"><title>$title</title></head><body>\n",
        "<h1>$title</h1>\n<p>", ds_h($album['description']), "</p>\n",
        '<p>', count($images), " image(s)</p>\n<ul>\n";
    foreach ($images as $file) {
        $image = ds_url_path(array_merge($segments, [$file]));
        $stem = pathinfo($file, PATHINFO_FILENAME);
        $thumb = is_file("$dir/thumbs/$stem.jpg")
            ? ds_url_path(array_merge($segments, ['thumbs', "$stem.jpg"])) : $image;
        echo '<li><a href="', ds_h($image), '"><img src="', ds_h($thumb), '" alt="', ds_h($file), "\"></a></li>\n";
    }
    echo "</ul>\n</body></html>\n";
}
